#include "operation/NvrReadPicturePageIp.h"

#include "manager/RecordManagerPrivate.h"
#include "operation/PictureEntries.h"
#include "parse/HashAccess.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

namespace lydevice
{

NvrReadPicturePageIp::~NvrReadPicturePageIp() = default;

void NvrReadPicturePageIp::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    pageIndex = hashInt(params, QStringLiteral("page"));
    requestRecorderPicturePage(
        target.handle, owner->context(target), pageIndex, bindHttpReply(this, &NvrReadPicturePageIp::onPageReply));
}

void NvrReadPicturePageIp::onPageReply(bool ok, const QVector<QByteArray> &replies)
{
    // A failed read keeps the page held before.
    if (!httpReplyGood(ok, replies)) {
        complete(done, false);
        return;
    }
    const QVariantList entries = recorderPicturePage(replies);
    owner->setPage(target, owner->context(target).pictureTotal, pageIndex, entries);
    complete(done, true, { { QStringLiteral("data"), entries } });
}

} // namespace lydevice

#include "operation/PicturePageRead.h"

#include "manager/RecordManagerPrivate.h"
#include "parse/HashAccess.h"
#include "protocol/IpcProtocolIp.h"
#include "protocol/NvrProtocolIp.h"

namespace lydevice
{

template <typename Device> void PicturePageRead<Device>::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    pageIndex = hashInt(params, QStringLiteral("page"));
    Device(target.handle)
        .picturePage(owner->context(target), pageIndex, bindHttpReply(this, &PicturePageRead::onPageReply));
}

template <typename Device> void PicturePageRead<Device>::onPageReply(bool ok, const QVector<QByteArray> &replies)
{
    const std::optional<QVariantList> entries = Device::pageEntries(ok, replies);
    if (!entries) {
        complete(done, false);
        return;
    }
    owner->setPage(target, owner->context(target).pictureTotal, pageIndex, *entries);
    complete(done, true, { { QStringLiteral("data"), *entries } });
}

template class PicturePageRead<IpcProtocolIp>;
template class PicturePageRead<NvrProtocolIp>;

} // namespace lydevice

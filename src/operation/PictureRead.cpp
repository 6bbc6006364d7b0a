#include "operation/PictureRead.h"

#include "manager/RecordManagerPrivate.h"
#include "parse/HashAccess.h"
#include "protocol/IpcProtocolIp.h"
#include "protocol/NvrProtocolIp.h"

#include <QDebug>
#include <QImage>

namespace lydevice
{

template <typename Device> void PictureRead<Device>::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    pictureIndex = hashInt(params, QStringLiteral("index"));
    if (pictureIndex < 0) {
        // No page holds it: fail without asking the device (and never inside run()).
        qWarning() << "picture is not existing. index: " << pictureIndex;
        failLater(this->done);
        return;
    }
    const int page = pictureIndex / Device::picturePageSize;
    if (page == owner->context(target).currentPage)
        requestPicture();
    else
        moveToPage(page);
}

template <typename Device> void PictureRead<Device>::moveToPage(int page)
{
    qDebug() << "move to page: " << page;
    Device(target.handle)
        .picturePage(owner->context(target), page, bindHttpReply(this, &PictureRead::onMovedPage, page));
}

template <typename Device> void PictureRead<Device>::onMovedPage(int page, bool ok, const QVector<QByteArray> &replies)
{
    if (!ok)
        qWarning() << "failure in reading next page. page: " << page;
    const std::optional<QVariantList> entries = Device::pageEntries(ok, replies);
    if (!entries) {
        complete(done, false);
        return;
    }
    owner->setPage(target, owner->context(target).pictureTotal, page, *entries);
    requestPicture();
}

template <typename Device> void PictureRead<Device>::requestPicture()
{
    const TargetContext &context = owner->context(target);
    const int position = pictureIndex % Device::picturePageSize;
    if (position >= context.pictureList.size()) {
        qWarning() << "picture is not existing. index: " << pictureIndex;
        failLater(done);
        return;
    }
    Device(target.handle)
        .picture(context,
            context.pictureList.at(position).toHash(),
            pictureIndex,
            bindHttpReply(this, &PictureRead::onPictureReply));
}

template <typename Device> void PictureRead<Device>::onPictureReply(bool ok, const QVector<QByteArray> &replies)
{
    const std::optional<QByteArray> bytes = Device::pictureBytes(ok, replies);
    if (!bytes) {
        complete(done, false);
        return;
    }
    complete(done,
        true,
        { { QStringLiteral("data"), QImage::fromData(*bytes) }, { QStringLiteral("size"), int(bytes->size()) } });
}

template class PictureRead<IpcProtocolIp>;
template class PictureRead<NvrProtocolIp>;

} // namespace lydevice

#include "operation/PictureRead.h"

#include "manager/RecordManagerPrivate.h"
#include "parse/HashAccess.h"
#include "protocol/IpcProtocolIp.h"
#include "protocol/NvrProtocolIp.h"

#include <QBuffer>
#include <QDebug>
#include <QImage>
#include <QImageReader>

namespace lydevice
{

namespace
{

    // No camera takes pictures anywhere near this size (an 8K frame is 33 megapixels). A picture
    // whose header claims more is a decompression bomb (a few hundred kilobytes that decode to
    // gigabytes on the main thread), not a picture; it is not decoded.
    constexpr int maxPictureSide = 16384;
    constexpr qint64 maxPicturePixels = 100 * 1000 * 1000;

    QImage decodePicture(const QByteArray &bytes)
    {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        // Qt 6 has a limit of its own, lower than ours; ours decides, the same with either Qt.
        reader.setAllocationLimit(int(maxPicturePixels * 4 / (1024 * 1024)) + 1);
#endif
        // The size comes from the picture's header, before anything is decoded. A format that cannot
        // tell it is not decoded either.
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > maxPictureSide || size.height() > maxPictureSide
            || qint64(size.width()) * size.height() > maxPicturePixels) {
            qWarning() << "picture not decoded, its size is unknown or too large:" << size;
            return {};
        }
        // A failed decode leaves a null image; the bytes were still received.
        return reader.read();
    }

} // namespace

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
        { { QStringLiteral("data"), decodePicture(*bytes) }, { QStringLiteral("size"), int(bytes->size()) } });
}

template class PictureRead<IpcProtocolIp>;
template class PictureRead<NvrProtocolIp>;

} // namespace lydevice

#include "operation/PictureSearch.h"

#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "parse/HashAccess.h"
#include "protocol/IpcProtocolIp.h"
#include "protocol/NvrProtocolIp.h"

#include <QDebug>

namespace lydevice
{

template <typename Device> void PictureSearch<Device>::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    // A reply that comes after the operation is gone may still have opened a search; it is never
    // stored as the device's session, so unless it is closed here the device keeps it open.
    auto whenGone = [target = target](bool ok, const QVector<QByteArray> &replies) {
        if (const std::optional<OpenedPictureSearch> opened = Device::openedPictureSearch(ok, replies)) {
            qWarning() << "close handle opened by a late reply";
            closeSession(target, opened->session);
        }
    };
    const auto type = qvariant_cast<RecordPictureType>(params.value(QStringLiteral("type")));
    const auto channels = qvariant_cast<QVector<int>>(params.value(QStringLiteral("channel")));
    Device(target.handle)
        .pictureSearch(type,
            channels,
            hashDateTime(params, QStringLiteral("startTime")),
            hashDateTime(params, QStringLiteral("endTime")),
            bindHttpReply(this, &PictureSearch::onOpenReply, std::move(whenGone)));
}

template <typename Device> void PictureSearch<Device>::onOpenReply(bool ok, const QVector<QByteArray> &replies)
{
    if (!ok)
        qWarning() << "failure in reading first page";
    const std::optional<OpenedPictureSearch> opened = Device::openedPictureSearch(ok, replies);
    if (!opened) {
        complete(done, false);
        return;
    }
    owner->setSession(target, opened->session);
    owner->setPage(target, opened->total, 0, opened->entries);
    complete(done, true, opened->result);
}

template class PictureSearch<IpcProtocolIp>;
template class PictureSearch<NvrProtocolIp>;

} // namespace lydevice

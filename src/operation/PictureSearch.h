#pragma once

#include "operation/RecordOperation.h"

#include <QByteArray>
#include <QVector>

namespace lydevice
{

// Opens a picture search on a device. The device answers with the session of the search, the
// number of pictures and the first page; the session becomes the device's session and the first
// page the page held, so that page and picture reads can follow. A search that finds nothing
// fails. `Device` is the device's HTTP protocol (IpcProtocolIp, NvrProtocolIp).
template <typename Device> class PictureSearch : public RecordOperation
{
public:
    using RecordOperation::RecordOperation;

    void run(const QVariantHash &params, Completion done) override;

private:
    void onOpenReply(bool ok, const QVector<QByteArray> &replies);

    Completion done;
};

} // namespace lydevice

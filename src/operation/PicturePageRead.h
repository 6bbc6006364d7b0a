#pragma once

#include "operation/RecordOperation.h"

#include <QByteArray>
#include <QVector>

namespace lydevice
{

// Reads one page of the picture search held for a device and makes it the page held in the
// device's context. Reports {"data": the page's entries}, which may be empty; a failed read keeps
// the page held before. `Device` is the device's HTTP protocol (IpcProtocolIp, NvrProtocolIp).
template <typename Device> class PicturePageRead : public RecordOperation
{
public:
    using RecordOperation::RecordOperation;

    void run(const QVariantHash &params, Completion done) override;

private:
    void onPageReply(bool ok, const QVector<QByteArray> &replies);

    int pageIndex = 0;
    Completion done;
};

} // namespace lydevice

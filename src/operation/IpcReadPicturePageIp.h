#pragma once

#include "operation/RecordOperation.h"

#include <QVector>

namespace lydevice
{

// Reads one page of the picture search open on a camera over HTTP and makes it the page held in the
// device's context. Reports {"data": the page's entries}, which may be empty.
class IpcReadPicturePageIp : public RecordOperation
{
public:
    using RecordOperation::RecordOperation;
    ~IpcReadPicturePageIp() override;

    void run(const QVariantHash &params, Completion done) override;

private:
    void onPageReply(bool ok, const QVector<QByteArray> &replies);

    int pageIndex = 0;
    Completion done;
};

} // namespace lydevice

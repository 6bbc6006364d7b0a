#pragma once

#include "operation/RecordOperation.h"

#include <QVector>

namespace lydevice
{

// Searches the captured pictures of a camera over HTTP through its "sdexplorer" picture list. The
// camera answers with the total and the first 30 pictures; each row carries the search session
// ("<id>&<uuid>"), which becomes the device's session, and the rows become the page held.
// Reports {"sum"}; a search that finds nothing, or whose session column is malformed, fails.
class IpcSearchPictureIp : public RecordOperation
{
public:
    using RecordOperation::RecordOperation;
    ~IpcSearchPictureIp() override;

    void run(const QVariantHash &params, Completion done) override;

private:
    void onOpenReply(bool ok, const QVector<QByteArray> &replies);

    Completion done;
};

} // namespace lydevice

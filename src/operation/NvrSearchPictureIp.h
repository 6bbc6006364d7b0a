#pragma once

#include "operation/RecordOperation.h"

#include <QVariantList>
#include <QVector>

namespace lydevice
{

// Opens a picture search on a recorder over HTTP. The recorder answers with its search handle,
// the total and the first page; the handle becomes the device's session and the first page the
// page held, so that page and picture reads can follow. Reports {"sid", "sum"}; a search that
// finds nothing fails.
class NvrSearchPictureIp : public RecordOperation
{
public:
    using RecordOperation::RecordOperation;
    ~NvrSearchPictureIp() override;

    void run(const QVariantHash &params, Completion done) override;

private:
    void onOpenReply(bool ok, const QVector<QByteArray> &replies);

    int sessionId = -1;
    QVariantList results;
    Completion done;
};

} // namespace lydevice

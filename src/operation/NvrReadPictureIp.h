#pragma once

#include "operation/RecordOperation.h"

#include <QVector>

namespace lydevice
{

// Fetches one picture of the search open on a recorder over HTTP, by its index in the whole
// result. Loads the picture's page first when it is not the page held (that page then stays
// held), then asks for the picture by its channel and pts; the recorder sends it base64-encoded
// after "data=". Reports {"data": the image, "size": the decoded bytes}; bytes that do not decode
// give a null image, not a failure.
class NvrReadPictureIp : public RecordOperation
{
public:
    using RecordOperation::RecordOperation;
    ~NvrReadPictureIp() override;

    void run(const QVariantHash &params, Completion done) override;

private:
    void moveToPage(int page);
    void onMovedPage(int page, bool ok, const QVector<QByteArray> &replies);
    void requestPicture();
    void onPictureReply(bool ok, const QVector<QByteArray> &replies);

    int pictureIndex = 0;
    Completion done;
};

} // namespace lydevice

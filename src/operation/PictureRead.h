#pragma once

#include "operation/RecordOperation.h"

#include <QByteArray>
#include <QVector>

namespace lydevice
{

// Fetches one picture of the search held for a device, by its index in the whole result. Loads
// the picture's page first when it is not the page held (that page then stays held), then asks
// for the picture named by the page's entry and decodes it. Reports {"data": the image, "size":
// the picture's bytes}; bytes that do not decode give a null image, not a failure. `Device` is the
// device's HTTP protocol (IpcProtocolIp, NvrProtocolIp).
template <typename Device> class PictureRead : public RecordOperation
{
public:
    using RecordOperation::RecordOperation;

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

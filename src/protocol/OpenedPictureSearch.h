#pragma once

#include <QVariant>
#include <QVariantHash>
#include <QVariantList>

namespace lydevice
{

// What a device's reply to a picture search gives the search: the session to store for the
// device, the number of pictures found, the entries of the first page, and the search's result.
struct OpenedPictureSearch {
    QVariant session;
    int total = 0;
    QVariantList entries;
    QVariantHash result;
};

} // namespace lydevice

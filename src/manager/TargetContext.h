#pragma once

#include <QDateTime>
#include <QVariant>
#include <QVariantList>
#include <QVector>

namespace lydevice
{

// What the manager keeps about one device between requests: the last search (span, stream,
// type, channels), the session that search left open on the device, whether an operation for the
// device is alive, and the picture page held. Replaced whole by every video or picture search.
struct TargetContext {
    QDateTime start;
    QDateTime end;
    int streamType = 0;
    QVariant type; // RecordVideoType or RecordPictureType of the last search
    QVariant session; // invalid, or a RecordSession of the device kind
    bool operationAlive = false;
    QVariantList pictureList; // entries of the picture page held
    int pictureTotal = 0; // pictures found by the last picture search
    int currentPage = 0; // index of the page held in pictureList
    QVector<int> channel;
};

} // namespace lydevice

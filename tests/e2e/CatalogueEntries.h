#pragma once

// What LyDevice should hand its caller for the simulator's content: the catalogue's items turned
// into the entries of each export, and a comparison that names the first difference.

#include "Catalogue.h"

#include <QString>
#include <QVariantList>

namespace lydevice::e2e
{

// search_video: "type" (the recorder's record-type code or the camera's type digit), "start", "end".
QVariantList videoSearchEntries(const QVector<sim::Recording> &recordings, sim::DeviceKind kind);
// Recorder readers: "start", "end", "isAnr", "isEvent".
QVariantList recorderReadingEntries(const QVector<sim::Recording> &recordings);
// Recorder readers: "chnid", "id", "index", "name", "time".
QVariantList tagEntries(const QVector<sim::Tag> &tags);
// read_picture_page: "name", "time", and on a recorder "channel".
QVariantList pictureEntries(const QVector<sim::Picture> &pictures, sim::DeviceKind kind);

// Consecutive slices of at most `size` entries: the batches of a device that pages by `size`.
QVector<QVariantList> pages(const QVariantList &entries, int size);

// Empty when the lists are equal entry by entry (each entry a QVariantHash with the same keys and
// values); otherwise a description of the first difference.
QString firstDifference(const QVariantList &actual, const QVariantList &expected);

} // namespace lydevice::e2e

#pragma once

// The picture searches of recorders and cameras: their entries, their page requests and the
// reading of a page reply. The searches, the page reads and the picture reads all go through
// these, so a page loaded on the way to a picture is the same page a page read would load.

#include <lydevice/lydevice.h>
#include <transport/DeviceCommand.h>
#include <transport/tcp_scheduler.h>

#include <QByteArray>
#include <QDateTime>
#include <QVariantHash>
#include <QVariantList>
#include <QVector>

#include <optional>

namespace lydevice
{

struct TargetContext;

// Pictures per page: a camera pages by what we ask for, a recorder by its own fixed size.
constexpr int cameraPicturePageSize = 30;
constexpr int recorderPicturePageSize = 100;

// No page of either device holds anywhere near this many pictures; a reply that claims more is
// broken, and we read no further than this.
constexpr int maxPicturesPerReply = 10000;

// Recorder page reply (key=value text, values as strings): entries 0 to count - 1 built from
// "pts<i>", "pTime<i>" and "chnid<i>". "name" is the pts, which also names the picture when it is
// fetched; "time" is invalid when the text does not match; "channel" is 0 when missing.
QVariantList recorderPictureEntries(int count, const QVariantHash &reply);

// Camera picture list rows ("aaData"): "name" from column 0, "time" from column 1. A row with
// fewer columns gives an empty name and an invalid time for what it lacks.
QVariantList cameraPictureEntries(const QVariantList &rows);

// The camera's "subtype" for a picture type: "0" snapshots, "1" alarm pictures, "-1" all.
QString cameraPictureSubtype(RecordPictureType type);

// The "sdexplorer" picture list query of a camera for pictures displayStart onwards (a page of 30).
Query cameraPictureListQuery(RecordPictureType type, const QDateTime &start, const QDateTime &end, qint64 displayStart);

// One page of the picture search held in the context: the camera's list within the open session
// (span, type and session from the context), the recorder's page of its search handle. `page`
// counts from 0.
void requestCameraPicturePage(quint64 handle, const TargetContext &context, int page, TCPCommandCallback &&callback);
void requestRecorderPicturePage(quint64 handle, const TargetContext &context, int page, TCPCommandCallback &&callback);

// The entries of a page reply whose status has been checked. A camera body that does not parse
// gives an empty page (the JSON parser logs why); a recorder "cnt" of 0 gives an empty page.
QVariantList cameraPicturePage(const QVector<QByteArray> &replies);
QVariantList recorderPicturePage(const QVector<QByteArray> &replies);

// The entry of picture `pictureIndex` (in the whole result) on the page held in the context, or
// none with a warning when its place on that page has no entry.
std::optional<QVariantHash> heldPicture(const TargetContext &context, int pictureIndex, int pageSize);

} // namespace lydevice

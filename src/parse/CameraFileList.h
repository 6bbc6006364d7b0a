#pragma once

// The record files a camera lists on one page of a file search, as video record entries
// (parseRecordFile), in the order listed.

#include <QJsonArray>
#include <QString>
#include <QVariantList>

namespace lydevice
{

// A page as the camera sends it over HTTP: "pbfilepageindex", file strings joined by ";" (empty
// parts are skipped).
QVariantList recordFileEntries(const QString &pageIndex);
// A page as the camera sends it over P2P: "file_list", one file string per element (an element
// that is no string reads as an empty file string).
QVariantList recordFileEntries(const QJsonArray &fileList);

} // namespace lydevice

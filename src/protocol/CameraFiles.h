#pragma once

// What the camera's two interfaces, HTTP and P2P, have in common: record files. A camera lists
// its recordings as files, page by page; each file is described by a string (parseRecordFile).

#include <QJsonArray>
#include <QString>
#include <QVariantList>

namespace lydevice
{

// The type mask a camera is asked with for a record type, and the record type digit of the files
// that type keeps. The mask is wider than the type, so only files of that digit are kept.
QString typeMask(int videoType);
int recordTypeCode(int videoType);

// The files of one page as video record entries, in the order listed, at most
// maxEntriesPerReply: over HTTP file strings joined by ";" (empty parts skipped), over P2P one file
// string per element (an element that is no string reads as an empty file string).
QVariantList recordFileEntries(const QString &files);
QVariantList recordFileEntries(const QJsonArray &files);

// The entries of the type that `videoType` keeps, in their order.
QVariantList entriesOfType(const QVariantList &entries, int videoType);

// After reading page `page` (counting from 1) of `totalPages`: whether to ask for the next one. A
// negative page count reads page 1 only, and no search reads more than maxSearchPages pages.
bool moreFilePages(int page, int totalPages);

} // namespace lydevice

#pragma once

// Typed reads from parameter and reply hashes. A missing key reads as an invalid value, which
// converts to 0, an empty string, an invalid date-time, an empty list or a null image.

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QVariantHash>
#include <QVariantList>

namespace lydevice
{

// Integer value; also reads the library's enumerations (RecordVideoType, StreamType,
// RecordPictureType) held as their registered meta-types. 0 when not convertible.
int hashInt(const QVariantHash &hash, const QString &key);
QString hashString(const QVariantHash &hash, const QString &key);
double hashDouble(const QVariantHash &hash, const QString &key);
QDateTime hashDateTime(const QVariantHash &hash, const QString &key);
QVariantList hashList(const QVariantHash &hash, const QString &key);
QImage hashImage(const QVariantHash &hash, const QString &key);

// A value as a list: a list, or a string list made one; empty for anything else (Qt 6 would make a
// list of one string out of a string, Qt 5 does not).
QVariantList variantList(const QVariant &value);

// hashDouble truncated toward zero; 0 for values that are not finite or do not fit 32 bits.
int hashTruncated(const QVariantHash &hash, const QString &key);
// The same for a value.
int truncatedInt(const QVariant &value);
// hashString read by QString::toInt in base 10: "12" and 12 both read 12, anything else 0.
int hashTextInt(const QVariantHash &hash, const QString &key);

} // namespace lydevice

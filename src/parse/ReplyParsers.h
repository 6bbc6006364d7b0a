#pragma once

// The devices' reply bodies: JSON, camera "OK key=value" lines, recorder key=value lines.
// Pure functions: no state, any thread.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVariantHash>

namespace lydevice
{

// The object of a JSON document (empty for an array). On a parse error logs the warnings
// "failure in parsing json string!" and "original string: " <text>, and returns an empty object.
QJsonObject parseJsonObject(const QString &text);

// Lines "OK key=value" (split at CR and LF, empty lines dropped). A line without the "OK " prefix
// makes the whole result empty. With numeric, values that read as a number are stored as one.
QJsonObject parseOkLines(const QString &text, bool numeric);

// Lines "key=value". A pair counts only when a line break ends it; a second "=" is dropped; an
// empty key stores nothing. With numeric, values that read as a number are stored as one.
QJsonObject parseKeyValueText(const QString &text, bool numeric);
// The same pairs as parseKeyValueText(text, numeric).toVariantHash(), built directly: recorder
// pages carry hundreds of keys, and a JSON object is slow to grow one key at a time.
QVariantHash parseKeyValueHash(const QString &text, bool numeric);

} // namespace lydevice

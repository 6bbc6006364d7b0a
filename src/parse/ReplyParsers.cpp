#include "ReplyParsers.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

namespace lydevice
{

namespace
{

    bool isLineBreak(QChar c)
    {
        return c == u'\r' || c == u'\n';
    }

    // Counts, handles and record types are short decimal integers; reading them directly gives
    // what toDouble() gives, without its locale machinery. Anything else returns false.
    bool readPlainInteger(const QString &value, double *number)
    {
        const int size = value.size();
        const int start = size > 0 && value.at(0) == u'-' ? 1 : 0;
        if (size == start || size - start > 9)
            return false;
        int magnitude = 0;
        for (int i = start; i < size; ++i) {
            const ushort c = value.at(i).unicode();
            if (c < u'0' || c > u'9')
                return false;
            magnitude = magnitude * 10 + (c - u'0');
        }
        *number = start ? -double(magnitude) : double(magnitude);
        return true;
    }

    // With numeric, a value that reads as a number (C locale, "." as the decimal point) is stored as
    // one. "nan" and "inf" stay text: a device never means them as numbers, and JSON cannot hold them.
    template <typename Object> void storeValue(Object &object, const QString &key, const QString &value, bool numeric)
    {
        if (numeric) {
            double integer = 0;
            if (readPlainInteger(value, &integer)) {
                object.insert(key, integer);
                return;
            }
            bool ok = false;
            const double number = value.toDouble(&ok);
            if (ok && std::isfinite(number)) {
                object.insert(key, number);
                return;
            }
        }
        object.insert(key, value);
    }

    // The recorder ends every pair with a line break; a pair without one was cut off in transit
    // and is not stored.
    template <typename Object> Object scanKeyValueText(const QString &text, bool numeric)
    {
        Object result;
        const int size = text.size();
        int lineStart = 0;
        for (int pos = 0; pos < size; ++pos) {
            if (!isLineBreak(text.at(pos)))
                continue;
            const QStringView line = QStringView(text).mid(lineStart, pos - lineStart);
            lineStart = pos + 1;
            // Every "=" switches to the value and is itself dropped: "a=b=c" is the key a with bc.
            const int equals = int(line.indexOf(u'='));
            const QStringView key = equals < 0 ? line : line.left(equals);
            if (key.isEmpty())
                continue;
            QString value = equals < 0 ? QString() : line.mid(equals + 1).toString();
            value.remove(u'=');
            storeValue(result, key.toString(), value, numeric);
        }
        return result;
    }

} // namespace

QJsonObject parseJsonObject(const QString &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning() << "failure in parsing json string!";
        qWarning() << "original string: " << text;
        return {};
    }
    return document.object();
}

QJsonObject parseOkLines(const QString &text, bool numeric)
{
    static const QLatin1String okPrefix("OK ");
    QJsonObject result;
    const int size = text.size();
    int pos = 0;
    while (pos < size) {
        if (isLineBreak(text.at(pos))) {
            ++pos;
            continue;
        }
        int end = pos;
        while (end < size && !isLineBreak(text.at(end)))
            ++end;
        const QStringView line = QStringView(text).mid(pos, end - pos);
        pos = end;

        // The camera answers "OK key=value" for every value it could read; one line without the
        // prefix means the request as a whole failed, so nothing of the reply is trusted.
        if (!line.startsWith(okPrefix))
            return {};
        const QStringView pair = line.mid(okPrefix.size());
        const int equals = int(pair.indexOf(u'='));
        if (equals < 0) {
            result.insert(pair.toString(), QString());
            continue;
        }
        storeValue(result, pair.left(equals).toString(), pair.mid(equals + 1).toString(), numeric);
    }
    return result;
}

QJsonObject parseKeyValueText(const QString &text, bool numeric)
{
    return scanKeyValueText<QJsonObject>(text, numeric);
}

QVariantHash parseKeyValueHash(const QString &text, bool numeric)
{
    return scanKeyValueText<QVariantHash>(text, numeric);
}

} // namespace lydevice

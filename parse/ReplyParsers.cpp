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

    // With numeric, a value that reads as a number (C locale, "." as the decimal point) is stored as
    // one. "nan" and "inf" stay text: a device never means them as numbers, and JSON cannot hold them.
    void storeValue(QJsonObject &object, const QString &key, const QString &value, bool numeric)
    {
        if (numeric) {
            bool ok = false;
            const double number = value.toDouble(&ok);
            if (ok && std::isfinite(number)) {
                object.insert(key, number);
                return;
            }
        }
        object.insert(key, value);
    }

    bool isLineBreak(QChar c)
    {
        return c == u'\r' || c == u'\n';
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
        const QStringRef line = text.midRef(pos, end - pos);
        pos = end;

        // The camera answers "OK key=value" for every value it could read; one line without the
        // prefix means the request as a whole failed, so nothing of the reply is trusted.
        if (!line.startsWith(okPrefix))
            return {};
        const QStringRef pair = line.mid(okPrefix.size());
        const int equals = pair.indexOf(u'=');
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
    // The recorder ends every pair with a line break; a pair without one was cut off in transit
    // and is not stored.
    QJsonObject result;
    QString key;
    QString value;
    bool inValue = false;
    for (const QChar c : text) {
        if (c == u'=') {
            inValue = true;
        } else if (isLineBreak(c)) {
            if (!key.isEmpty())
                storeValue(result, key, value, numeric);
            key.clear();
            value.clear();
            inValue = false;
        } else if (inValue) {
            value.append(c);
        } else {
            key.append(c);
        }
    }
    return result;
}

QByteArray repairPictureList(QByteArray body)
{
    return body.replace(QByteArrayLiteral("{\"sEcho\": ,"), QByteArrayLiteral("{"));
}

} // namespace lydevice

#pragma once

#include "HttpMessage.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cmath>

namespace lydevice::sim
{

// The device behind the two front ends: answers one request at a time, in the main thread.
class DeviceLogic
{
public:
    virtual ~DeviceLogic() = default;

    // "nvr" or "ipc", as request frames on the link name their command set.
    virtual QString linkKind() const = 0;
    // The name of a request for the books and the faults (see FaultRule::match).
    virtual QString httpRequestKind(const HttpRequest &request) const = 0;
    virtual HttpReply answerHttp(const HttpRequest &request) = 0;
    // Answers a command of this device's command set with the reply object.
    virtual QJsonObject answerLink(int command, const QJsonObject &request) = 0;
};

// Clients send the same member as a number in one request and as text in another; the device
// reads both. Anything else, a fraction or a value beyond int gives `fallback`.
inline int linkInt(const QJsonValue &value, int fallback = 0)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (std::isfinite(number) && number == std::floor(number) && number >= -2147483648.0 && number <= 2147483647.0)
            return static_cast<int>(number);
        return fallback;
    }
    if (value.isString()) {
        bool ok = false;
        const int number = value.toString().trimmed().toInt(&ok);
        return ok ? number : fallback;
    }
    return fallback;
}

inline QString linkText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 17);
    return QString();
}

} // namespace lydevice::sim

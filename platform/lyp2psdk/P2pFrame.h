#pragma once

// The frames of the command link: one compact JSON object per line, each way.
//   request: {"id": <number>, "kind": "ipc" | "nvr", "command": <int>, "request": <object>}
//   reply:   {"id": <number>, "reply": <object>}

#include <QByteArray>
#include <QJsonObject>
#include <QLatin1String>

namespace lyp2psdk
{

// Ids stay below 2^53, where a JSON number still holds every integer exactly.
constexpr quint64 MaxFrameId = (quint64(1) << 53) - 1;

// The request frame with its closing "\n".
QByteArray encodeRequestFrame(quint64 id, QLatin1String kind, int command, const QJsonObject &request);

struct ReplyFrame {
    enum class Kind {
        Reply, // id and reply object
        BadReply, // id, but "reply" is not an object
        NoId, // a JSON object without a usable id: nothing to match it with
        NotJson, // not a JSON object at all: the link is out of step
        RepeatedKey, // an object in it repeats a key: refused unparsed, its id unknown
    };
    Kind kind = Kind::NotJson;
    quint64 id = 0;
    QJsonObject reply;
};

// Reads one line without its line break. A line in which any object repeats a key is refused
// before it is parsed: Qt 5's parser leaks the value it replaces when that value is an object or
// an array, so a device could make the host grow by the size of each such line.
ReplyFrame decodeReplyFrame(const QByteArray &line);

} // namespace lyp2psdk

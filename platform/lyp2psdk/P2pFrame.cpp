#include "P2pFrame.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>

#include <cmath>

namespace lyp2psdk
{

QByteArray encodeRequestFrame(quint64 id, QLatin1String kind, int command, const QJsonObject &request)
{
    const QJsonObject frame {
        { QStringLiteral("id"), static_cast<double>(id) },
        { QStringLiteral("kind"), kind },
        { QStringLiteral("command"), command },
        { QStringLiteral("request"), request },
    };
    // Compact JSON escapes line breaks inside strings, so the frame is one line.
    return QJsonDocument(frame).toJson(QJsonDocument::Compact) + '\n';
}

ReplyFrame decodeReplyFrame(const QByteArray &line)
{
    ReplyFrame frame;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return frame;
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id"));
    // Checked before any conversion: a fraction, a negative or a huge number is no id of ours.
    const double number = id.isDouble() ? id.toDouble() : -1.0;
    if (!(number >= 1.0 && number <= static_cast<double>(MaxFrameId) && std::floor(number) == number)) {
        frame.kind = ReplyFrame::Kind::NoId;
        return frame;
    }
    frame.id = static_cast<quint64>(number);
    const QJsonValue reply = object.value(QLatin1String("reply"));
    if (!reply.isObject()) {
        frame.kind = ReplyFrame::Kind::BadReply;
        return frame;
    }
    frame.kind = ReplyFrame::Kind::Reply;
    frame.reply = reply.toObject();
    return frame;
}

} // namespace lyp2psdk

#include "manager/RecordSession.h"

#include "transport/DeviceCommand.h"

#include <QDebug>
#include <QJsonObject>

namespace lydevice
{

void closeIpcSessionIp(const TargetDesc &target, const QVariant &session)
{
    if (!session.isValid()) {
        qWarning().noquote() << "session is not valid, skip";
        return;
    }
    const CameraSession camera = sessionFrom<CameraSession>(session);
    qDebug() << "close previous session. id: " << camera.id << ", uuid: " << camera.uuid;
    sendHttpCommand(target.handle,
        QStringLiteral("/vb.htm"),
        { { QStringLiteral("closelyfshandle"), QString::number(camera.id) + QLatin1Char(';') + camera.uuid } });
}

void closeNvrSessionIp(const TargetDesc &target, const QVariant &session)
{
    if (!session.isValid()) {
        qWarning().noquote() << "session is not valid";
        return;
    }
    const RecorderSession recorder = sessionFrom<RecorderSession>(session);
    qDebug() << "close previous session first. session id: " << recorder.sid
             << ", record type: " << recorder.recordType;
    const QString sid = QString::number(recorder.sid);
    if (recorder.recordType == int(RecordKind::Video)) {
        sendHttpCommand(target.handle,
            QStringLiteral("/sdk.cgi"),
            { { QStringLiteral("action"), QStringLiteral("set.playback.stop_batch") },
                { QStringLiteral("cnt"), QStringLiteral("1") },
                { QStringLiteral("sid[0]"), sid },
                { QStringLiteral("close"), QStringLiteral("1") } });
    } else if (recorder.recordType == int(RecordKind::Picture)) {
        sendHttpCommand(target.handle,
            QStringLiteral("/sdk.cgi"),
            { { QStringLiteral("action"), QStringLiteral("get.playback.picture_backup_search_close") },
                { QStringLiteral("sid"), sid } });
    }
}

void closeNvrSessionP2p(const TargetDesc &target, const QVariant &session)
{
    if (!session.isValid()) {
        qWarning().noquote() << "session is not valid";
        return;
    }
    const RecorderSession recorder = sessionFrom<RecorderSession>(session);
    qDebug() << "close previous session first. session id: " << recorder.sid
             << ", record type: " << recorder.recordType;
    // Over P2P only playback sessions can be stopped; a picture search session stays open.
    if (recorder.recordType != int(RecordKind::Video))
        return;
    sendP2pCommand(target.handle,
        NVRCommand::StopPlayback,
        QJsonObject { { QStringLiteral("r.cnt"), 1 },
            { QStringLiteral("r.close"), 1 },
            { QStringLiteral("r.sid[0]"), recorder.sid } });
}

} // namespace lydevice

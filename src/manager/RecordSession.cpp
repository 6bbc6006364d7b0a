#include "manager/RecordSession.h"

#include "protocol/IpcProtocolIp.h"
#include "protocol/NvrProtocolIp.h"
#include "protocol/NvrProtocolP2p.h"

#include <QDebug>

#include <optional>

namespace lydevice
{

namespace
{

    std::optional<RecorderSession> recorderSession(const QVariant &session)
    {
        if (!session.isValid()) {
            qWarning().noquote() << "session is not valid";
            return std::nullopt;
        }
        const RecorderSession recorder = sessionFrom<RecorderSession>(session);
        qDebug() << "close previous session first. session id: " << recorder.sid
                 << ", record type: " << recorder.recordType;
        return recorder;
    }

} // namespace

void closeSession(const TargetDesc &target, const QVariant &session)
{
    const bool ip = target.transport == TransportType::Ip;
    const bool p2p = target.transport == TransportType::P2p;
    if (target.deviceType == DeviceType::NVR && ip)
        closeNvrSessionIp(target, session);
    else if (target.deviceType == DeviceType::NVR && p2p)
        closeNvrSessionP2p(target, session);
    else if (target.deviceType == DeviceType::IPC && ip)
        closeIpcSessionIp(target, session);
}

void closeIpcSessionIp(const TargetDesc &target, const QVariant &session)
{
    if (!session.isValid()) {
        qWarning().noquote() << "session is not valid, skip";
        return;
    }
    const CameraSession camera = sessionFrom<CameraSession>(session);
    qDebug() << "close previous session. id: " << camera.id << ", uuid: " << camera.uuid;
    IpcProtocolIp(target.handle).closeSession(camera);
}

void closeNvrSessionIp(const TargetDesc &target, const QVariant &session)
{
    const std::optional<RecorderSession> recorder = recorderSession(session);
    if (!recorder)
        return;
    if (recorder->recordType == int(RecordKind::Video))
        NvrProtocolIp(target.handle).stopPlayback(recorder->sid);
    else if (recorder->recordType == int(RecordKind::Picture))
        NvrProtocolIp(target.handle).closePictureSearch(recorder->sid);
}

void closeNvrSessionP2p(const TargetDesc &target, const QVariant &session)
{
    const std::optional<RecorderSession> recorder = recorderSession(session);
    // Over P2P only playback sessions can be stopped; a picture search session stays open.
    if (recorder && recorder->recordType == int(RecordKind::Video))
        NvrProtocolP2p(target.handle).stopPlayback(recorder->sid);
}

} // namespace lydevice

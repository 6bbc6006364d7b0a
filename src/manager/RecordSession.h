#pragma once

#include "manager/RecordKind.h"

#include <lydevice/lydevice.h>

#include <QMetaType>
#include <QString>
#include <QVariant>

namespace lydevice
{

// A search session that a device keeps open after a search, stored in the device's context until
// the next search of that device.
template <DeviceType> struct RecordSession;

// A camera's file-search handle: a number and its uuid.
template <> struct RecordSession<DeviceType::IPC> {
    int id = 0;
    QString uuid;
};

// A recorder's session id and what it serves (RecordKind: 0 video playback, 1 picture search).
template <> struct RecordSession<DeviceType::NVR> {
    int sid = 0;
    int recordType = 0;
};

using CameraSession = RecordSession<DeviceType::IPC>;
using RecorderSession = RecordSession<DeviceType::NVR>;

// The session held in a context variant; a zero session when the variant holds something else.
template <typename Session> Session sessionFrom(const QVariant &variant)
{
    return variant.value<Session>();
}

// Closes a session stored for the device, by device kind and transport. Fire-and-forget: replies
// and failures are ignored. A camera over P2P keeps no session we could close.
void closeSession(const TargetDesc &target, const QVariant &session);
void closeIpcSessionIp(const TargetDesc &target, const QVariant &session);
void closeNvrSessionIp(const TargetDesc &target, const QVariant &session);
void closeNvrSessionP2p(const TargetDesc &target, const QVariant &session);

} // namespace lydevice

Q_DECLARE_METATYPE(lydevice::CameraSession)
Q_DECLARE_METATYPE(lydevice::RecorderSession)

#include "manager/RecordFactory.h"

#include "manager/RecordManagerPrivate.h"
#include "operation/IpcReadPictureIp.h"
#include "operation/IpcReadPicturePageIp.h"
#include "operation/IpcSearchPictureIp.h"
#include "operation/IpcSearchVideoIp.h"
#include "operation/IpcSearchVideoP2p.h"
#include "operation/NvrReadPictureIp.h"
#include "operation/NvrReadPicturePageIp.h"
#include "operation/NvrSearchPictureIp.h"
#include "operation/NvrSearchVideoIp.h"
#include "operation/NvrSearchVideoP2p.h"
#include "operation/RecordOperation.h"
#include "reader/RecordReader.h"
#include "reader/RecordReaderIpcIp.h"
#include "reader/RecordReaderIpcP2p.h"
#include "reader/RecordReaderNvrIp.h"
#include "reader/RecordReaderNvrP2p.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    bool isIp(const TargetDesc &target)
    {
        return target.transport == TransportType::Ip;
    }

    bool isP2p(const TargetDesc &target)
    {
        return target.transport == TransportType::P2p;
    }

    bool isCamera(const TargetDesc &target)
    {
        return target.deviceType == DeviceType::IPC;
    }

    bool isRecorder(const TargetDesc &target)
    {
        return target.deviceType == DeviceType::NVR;
    }

    // One live operation per device: a picture or page read waits for nothing, it is refused.
    bool deviceBusy(RecordManagerPrivate *d, const TargetDesc &target)
    {
        if (!d->isOperationAlive(target))
            return false;
        qWarning().noquote() << "cannot start operation since there is an another operation alive";
        return true;
    }

    template <typename Operation>
    QSharedPointer<RecordOperation> make(RecordManagerPrivate *d, const TargetDesc &target, RecordKind kind)
    {
        return QSharedPointer<Operation>::create(d, target, kind);
    }

} // namespace

QSharedPointer<RecordOperation> makeSearchOperation(RecordManagerPrivate *d, const TargetDesc &target, RecordKind kind)
{
    if (deviceBusy(d, target))
        return {};
    if (kind == RecordKind::Picture && isIp(target)) {
        if (isCamera(target))
            return make<IpcSearchPictureIp>(d, target, kind);
        if (isRecorder(target))
            return make<NvrSearchPictureIp>(d, target, kind);
    }
    if (kind == RecordKind::Video) {
        if (isIp(target) && isCamera(target))
            return make<IpcSearchVideoIp>(d, target, kind);
        if (isIp(target) && isRecorder(target))
            return make<NvrSearchVideoIp>(d, target, kind);
        if (isP2p(target) && isCamera(target))
            return make<IpcSearchVideoP2p>(d, target, kind);
        if (isP2p(target) && isRecorder(target))
            return make<NvrSearchVideoP2p>(d, target, kind);
    }
    return {};
}

QSharedPointer<RecordOperation> makeReadPicturePageOperation(
    RecordManagerPrivate *d, const TargetDesc &target, RecordKind kind)
{
    if (deviceBusy(d, target))
        return {};
    if (kind == RecordKind::Video || !isIp(target))
        return {};
    if (isCamera(target))
        return make<IpcReadPicturePageIp>(d, target, kind);
    if (isRecorder(target))
        return make<NvrReadPicturePageIp>(d, target, kind);
    return {};
}

QSharedPointer<RecordOperation> makeReadPictureOperation(
    RecordManagerPrivate *d, const TargetDesc &target, RecordKind kind)
{
    if (deviceBusy(d, target))
        return {};
    if (kind != RecordKind::Picture || !isIp(target))
        return {};
    if (isCamera(target))
        return make<IpcReadPictureIp>(d, target, kind);
    if (isRecorder(target))
        return make<NvrReadPictureIp>(d, target, kind);
    return {};
}

std::unique_ptr<RecordReader> makeReader(const TargetDesc &target)
{
    if (isCamera(target) && isIp(target))
        return std::make_unique<RecordReaderIpcIp>(target);
    if (isCamera(target) && isP2p(target))
        return std::make_unique<RecordReaderIpcP2p>(target);
    if (isRecorder(target) && isIp(target))
        return std::make_unique<RecordReaderNvrIp>(target);
    if (isRecorder(target) && isP2p(target))
        return std::make_unique<RecordReaderNvrP2p>(target);
    return {};
}

} // namespace lydevice

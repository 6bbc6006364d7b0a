#include "reader/RecordReader.h"

#include <QDebug>
#include <QMetaObject>
#include <QPointer>

namespace lydevice
{

RecordReader::RecordReader(const TargetDesc &target)
    : QObject(nullptr)
    , target(target)
{
}

RecordReader::~RecordReader() = default;

void RecordReader::startReading(RecordVideoDesc desc, SearchVideoCallbackV2 callback)
{
    qInfo().noquote() << (target.deviceType == DeviceType::NVR ? "begin search video in nvr"
                                                               : "begin search video in ipc");
    this->callback = std::move(callback);
    this->desc = std::move(desc);
    start();
}

bool RecordReader::deliver(int code, RecordVideoType type, const QVariantList &records)
{
    if (ended)
        return false;
    const QPointer<RecordReader> guard(this);
    // A copy: the caller may destroy this reader (and its callback) from inside the call.
    const SearchVideoCallbackV2 call = callback;
    if (call)
        call(code, type, records);
    return !guard.isNull();
}

void RecordReader::deliverLast(int code, RecordVideoType type)
{
    if (ended)
        return;
    ended = true;
    const SearchVideoCallbackV2 call = callback;
    if (call)
        call(code, type, {});
}

void RecordReader::deliverEnd(int code)
{
    deliverLast(code, RecordVideoType::Alarm);
}

void RecordReader::deliverFailure(RecordVideoType type, int code)
{
    deliverLast(code, type);
}

void RecordReader::deliverFailureLater(RecordVideoType type)
{
    QMetaObject::invokeMethod(
        this, [this, type]() { deliverFailure(type); }, Qt::QueuedConnection);
}

bool RecordReader::hasEnded() const
{
    return ended;
}

} // namespace lydevice

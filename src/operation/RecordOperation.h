#pragma once

#include "manager/RecordKind.h"

#include <lydevice/lydevice.h>

#include <QObject>
#include <QVariantHash>

#include <functional>

namespace lydevice
{

class RecordManagerPrivate;

// Base of every one-shot piece of device work (a search, a page read, a picture read).
//
// The manager creates an operation, calls run() once and owns it until the operation calls its
// completion. run() sends the first request and returns; the rest happens in reply handlers,
// one request outstanding at a time. The completion is called exactly once, as the operation's
// last act: the manager destroys the operation inside that call. An operation destroyed earlier
// (cancel-all) never completes. While an operation exists, its device's context is marked busy,
// and picture reads of that device are refused.
class RecordOperation : public QObject
{
public:
    using Completion = std::function<void(bool ok, QVariantHash result)>;

    RecordOperation(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind);
    ~RecordOperation() override;

    virtual void run(const QVariantHash &params, Completion done) = 0;

    // True once the operation has called its completion.
    bool hasCompleted() const;

protected:
    // Calls `done` once and leaves it empty. The operation may be destroyed inside this call, so
    // it must be the caller's last act.
    void complete(Completion &done, bool ok, const QVariantHash &result = {});
    // Fails from the event loop, for a request that cannot even be sent: the manager lists an
    // operation only after run() has returned, so run() itself must never complete.
    void failLater(Completion &done);

    RecordManagerPrivate *const owner;
    const TargetDesc target;
    const RecordKind kind;

private:
    bool completed = false;
};

} // namespace lydevice

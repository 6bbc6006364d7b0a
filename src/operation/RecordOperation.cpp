#include "operation/RecordOperation.h"

#include "manager/RecordManagerPrivate.h"

#include <QMetaObject>
#include <QPointer>

namespace lydevice
{

RecordOperation::RecordOperation(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind)
    : QObject(nullptr)
    , owner(owner)
    , target(target)
    , kind(kind)
{
    owner->setOperationAlive(target, true);
}

RecordOperation::~RecordOperation()
{
    owner->setOperationAlive(target, false);
}

bool RecordOperation::hasCompleted() const
{
    return completed;
}

void RecordOperation::complete(Completion &done, bool ok, const QVariantHash &result)
{
    if (completed || !done)
        return;
    completed = true;
    // Move the completion out first: the manager destroys this operation inside the call.
    const Completion finish = std::move(done);
    done = nullptr;
    finish(ok, result);
}

void RecordOperation::failLater(Completion &done)
{
    QMetaObject::invokeMethod(
        this,
        [this, guard = QPointer<RecordOperation>(this), &done]() {
            if (guard)
                complete(done, false);
        },
        Qt::QueuedConnection);
}

} // namespace lydevice

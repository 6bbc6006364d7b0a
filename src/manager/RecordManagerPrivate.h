#pragma once

#include "manager/TargetContext.h"

#include <lydevice/lydevice.h>

#include <QHash>
#include <QSharedPointer>
#include <QVector>

#include <functional>
#include <map>
#include <memory>

namespace lydevice
{

class RecordOperation;
class RecordReader;

// The manager's state: per-device contexts, the devices searched since the last cancel-all, and
// the live operations and readers, which it alone owns.
class RecordManagerPrivate
{
public:
    using Finished = std::function<void(bool ok, const QVariantHash &result)>;

    RecordManagerPrivate() = default;
    ~RecordManagerPrivate();

    RecordManagerPrivate(const RecordManagerPrivate &) = delete;
    RecordManagerPrivate &operator=(const RecordManagerPrivate &) = delete;

    // Services for operations. None of them creates a context.
    const TargetContext &context(const TargetDesc &target) const;
    bool isOperationAlive(const TargetDesc &target) const;
    void setOperationAlive(const TargetDesc &target, bool alive);
    void setSession(const TargetDesc &target, const QVariant &session);
    void setPage(const TargetDesc &target, int pictureTotal, int currentPage, const QVariantList &list);

    // The device's stored context, or none.
    const TargetContext *storedContext(const TargetDesc &target) const;
    // Closes the session stored for the device, replaces its context whole with a new search and
    // lists the device for cancel-all.
    void beginSearch(const TargetDesc &target, const TargetContext &context);

    // Runs the operation and keeps it until it completes: `finished` is called with its result,
    // then the operation is destroyed.
    void startOperation(const QVariantHash &params, QSharedPointer<RecordOperation> operation, Finished finished);

    // Keeps a reader under a new id: never 0 and never given twice in the process, so that a stale
    // id cannot end a later reading. Removing destroys the reader; an unknown id removes nothing.
    quint64 addReader(std::unique_ptr<RecordReader> reader);
    bool removeReader(quint64 id);

    // Destroys every reader and operation (no callbacks), then closes the stored session of every
    // device searched since the last call, in search order.
    void cancelAll();

private:
    void dropWorkers();
    void releaseOperation(quint64 started);

    QHash<quint64, TargetContext> contexts;
    QVector<TargetDesc> targets;
    // By the number they were started under, which is also start order; each is found again in
    // log time when it completes, however many devices are searched at once.
    std::map<quint64, QSharedPointer<RecordOperation>> operations;
    quint64 lastOperation = 0;
    // By id, which is also creation order.
    std::map<quint64, std::unique_ptr<RecordReader>> readers;
    quint64 lastReaderId = 0;
};

} // namespace lydevice

#include "manager/RecordManagerPrivate.h"

#include "manager/RecordSession.h"
#include "operation/RecordOperation.h"
#include "reader/RecordReader.h"

#include <QDebug>

namespace lydevice
{

RecordManagerPrivate::~RecordManagerPrivate()
{
    // No session is closed when the library goes away.
    dropWorkers();
}

void RecordManagerPrivate::dropWorkers()
{
    // Readers first (their destructors close what they hold on the devices), then operations
    // (theirs clear the busy flags in the contexts). The lists are swapped out first, so that they
    // are consistent while the destructors run.
    std::map<quint64, std::unique_ptr<RecordReader>> goneReaders;
    goneReaders.swap(readers);
    for (auto &reader : goneReaders)
        reader.second.reset();
    std::map<quint64, QSharedPointer<RecordOperation>> goneOperations;
    goneOperations.swap(operations);
    for (auto &operation : goneOperations)
        operation.second.reset();
}

const TargetContext *RecordManagerPrivate::storedContext(const TargetDesc &target) const
{
    const auto it = contexts.constFind(target.handle);
    return it == contexts.constEnd() ? nullptr : &it.value();
}

const TargetContext &RecordManagerPrivate::context(const TargetDesc &target) const
{
    static const TargetContext empty;
    const TargetContext *stored = storedContext(target);
    return stored ? *stored : empty;
}

bool RecordManagerPrivate::isOperationAlive(const TargetDesc &target) const
{
    return context(target).operationAlive;
}

void RecordManagerPrivate::setOperationAlive(const TargetDesc &target, bool alive)
{
    const auto it = contexts.find(target.handle);
    if (it != contexts.end())
        it->operationAlive = alive;
}

void RecordManagerPrivate::setSession(const TargetDesc &target, const QVariant &session)
{
    const auto it = contexts.find(target.handle);
    if (it == contexts.end())
        return;
    // Only the stored session is ever closed. Two searches of one device that overlap both open
    // one; the one replaced here would stay open on the device for good.
    if (it->session.isValid()) {
        qWarning() << "another search of the device opened a session; closing the one it replaces";
        closeSession(target, it->session);
    }
    it->session = session;
}

void RecordManagerPrivate::setPage(
    const TargetDesc &target, int pictureTotal, int currentPage, const QVariantList &list)
{
    const auto it = contexts.find(target.handle);
    if (it == contexts.end())
        return;
    it->pictureTotal = pictureTotal;
    it->currentPage = currentPage;
    it->pictureList = list;
}

void RecordManagerPrivate::beginSearch(const TargetDesc &target, const TargetContext &context)
{
    if (const TargetContext *old = storedContext(target))
        closeSession(target, old->session);
    contexts.insert(target.handle, context);
    targets.append(target);
}

void RecordManagerPrivate::startOperation(
    const QVariantHash &params, QSharedPointer<RecordOperation> operation, Finished finished)
{
    const quint64 started = ++lastOperation;
    auto completion = [this, finished = std::move(finished), started](bool ok, const QVariantHash &result) {
        // The caller's callback may cancel everything, and releasing the operation destroys the
        // closure that runs here: keep what is needed afterwards in locals.
        RecordManagerPrivate *const d = this;
        const quint64 done = started;
        finished(ok, result);
        d->releaseOperation(done);
    };
    operation->run(params, std::move(completion));
    // An operation completes from its reply handlers, never inside run(); one that did anyway has
    // been answered already and is not kept.
    if (!operation->hasCompleted())
        operations.emplace(started, std::move(operation));
}

void RecordManagerPrivate::releaseOperation(quint64 started)
{
    const auto it = operations.find(started);
    if (it == operations.end())
        return; // cancelled meanwhile
    // Take it out of the list before it is destroyed, so the list is whole while its destructor runs.
    QSharedPointer<RecordOperation> last = std::move(it->second);
    operations.erase(it);
    last.reset();
}

quint64 RecordManagerPrivate::addReader(std::unique_ptr<RecordReader> reader)
{
    const quint64 id = ++lastReaderId;
    readers.emplace(id, std::move(reader));
    return id;
}

bool RecordManagerPrivate::removeReader(quint64 id)
{
    const auto it = readers.find(id);
    if (it == readers.end())
        return false;
    // Out of the list before it is destroyed: its destructor may reach the manager.
    std::unique_ptr<RecordReader> gone = std::move(it->second);
    readers.erase(it);
    gone.reset();
    return true;
}

void RecordManagerPrivate::cancelAll()
{
    dropWorkers();
    QVector<TargetDesc> searched;
    searched.swap(targets);
    for (const TargetDesc &target : qAsConst(searched)) {
        if (const TargetContext *stored = storedContext(target))
            closeSession(target, stored->session);
    }
}

} // namespace lydevice

#include "manager/RecordManagerPrivate.h"

#include "manager/RecordSession.h"
#include "operation/RecordOperation.h"
#include "reader/RecordReader.h"

#include <algorithm>

namespace lydevice
{

RecordManagerPrivate::RecordManagerPrivate(RecordManager *q)
    : q(q)
{
}

RecordManagerPrivate::~RecordManagerPrivate()
{
    // Readers first (their destructors close what they hold on the devices), then operations
    // (theirs clear the busy flags in the contexts, which therefore go last). No session is closed.
    std::vector<std::unique_ptr<RecordReader>> goneReaders;
    goneReaders.swap(readers);
    for (auto &reader : goneReaders)
        reader.reset();
    QVector<QSharedPointer<RecordOperation>> goneOperations;
    goneOperations.swap(operations);
    goneOperations.clear();
    targets.clear();
    contexts.clear();
}

const TargetContext &RecordManagerPrivate::context(const TargetDesc &target) const
{
    static const TargetContext empty;
    const auto it = contexts.constFind(target.handle);
    return it == contexts.constEnd() ? empty : it.value();
}

bool RecordManagerPrivate::isOperationAlive(const TargetDesc &target) const
{
    const auto it = contexts.constFind(target.handle);
    return it != contexts.constEnd() && it->operationAlive;
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
    if (it != contexts.end())
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
    contexts.insert(target.handle, context);
    targets.append(target);
}

void RecordManagerPrivate::startOperation(
    const QVariantHash &params, QSharedPointer<RecordOperation> operation, Finished finished)
{
    const RecordOperation *const address = operation.data();
    auto completion = [this, finished = std::move(finished), address](bool ok, const QVariantHash &result) {
        // The caller's callback may cancel everything, and releasing the operation destroys the
        // closure that runs here: keep what is needed afterwards in locals.
        RecordManagerPrivate *const d = this;
        const RecordOperation *const done = address;
        finished(ok, result);
        d->releaseOperation(done);
    };
    operation->run(params, std::move(completion));
    // An operation completes from its reply handlers, never inside run(); one that did anyway has
    // been answered already and is not kept.
    if (!operation->hasCompleted())
        operations.append(std::move(operation));
}

void RecordManagerPrivate::releaseOperation(const RecordOperation *operation)
{
    const auto it = std::find_if(
        operations.begin(), operations.end(), [operation](const auto &live) { return live.data() == operation; });
    if (it == operations.end())
        return; // cancelled meanwhile
    // Take it out of the list before it is destroyed, so the list is whole while its destructor runs.
    QSharedPointer<RecordOperation> last = std::move(*it);
    operations.erase(it);
    last.reset();
}

void RecordManagerPrivate::closeSession(const TargetDesc &target)
{
    const auto it = contexts.constFind(target.handle);
    if (it == contexts.constEnd())
        return;
    const QVariant session = it->session;
    if (target.transport == TransportType::Ip && target.deviceType == DeviceType::NVR)
        closeNvrSessionIp(target, session);
    else if (target.transport == TransportType::P2p && target.deviceType == DeviceType::NVR)
        closeNvrSessionP2p(target, session);
    else if (target.transport == TransportType::Ip && target.deviceType == DeviceType::IPC)
        closeIpcSessionIp(target, session);
    // A camera over P2P keeps no session we could close.
}

void RecordManagerPrivate::closeAllSessions()
{
    QVector<TargetDesc> searched;
    searched.swap(targets);
    for (const TargetDesc &target : qAsConst(searched))
        closeSession(target);
}

quint64 RecordManagerPrivate::addReader(std::unique_ptr<RecordReader> reader)
{
    const quint64 id = reinterpret_cast<quintptr>(reader.get());
    readers.push_back(std::move(reader));
    return id;
}

bool RecordManagerPrivate::removeReader(quint64 id)
{
    const auto it = std::find_if(readers.begin(), readers.end(), [id](const auto &reader) {
        return reinterpret_cast<quintptr>(reader.get()) == id;
    });
    if (it == readers.end())
        return false;
    std::unique_ptr<RecordReader> gone = std::move(*it);
    readers.erase(it);
    gone.reset();
    return true;
}

void RecordManagerPrivate::cancelAll()
{
    // Swap the lists out first: destructors run with the manager's lists already consistent.
    std::vector<std::unique_ptr<RecordReader>> goneReaders;
    goneReaders.swap(readers);
    for (auto &reader : goneReaders)
        reader.reset();
    QVector<QSharedPointer<RecordOperation>> goneOperations;
    goneOperations.swap(operations);
    goneOperations.clear();
    closeAllSessions();
}

} // namespace lydevice

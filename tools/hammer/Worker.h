#pragma once

#include "CallLedger.h"
#include "RandomArguments.h"

#include <lydevice/lydevice.h>

#include <QVector>

#include <atomic>
#include <thread>
#include <vector>

class CallGate;
class QObject;

// One thread calling the exports with random arguments until it is asked to stop.
//
// Its choices follow from its seed alone; how they interleave with the other workers and with the
// devices does not. It keeps at most a few calls open at once (waiting for answers, or for a cancel
// to cover them), so that the load follows what the main thread can serve instead of piling up
// in its queue, and ends the readings it began at random points, some of them twice. It calls one
// (device, transport) of its own more often than the others, and now and then it waits for each
// answer before the next call, as an application reading pictures after their search would.
class Worker
{
public:
    struct Shared {
        CallLedger *ledger = nullptr;
        CallGate *gate = nullptr;
        QObject *mainContext = nullptr; // lives in the main thread; functors posted to it run there
        QVector<lydevice::TargetDesc> targets;
        int cancelEvery = 400;
        int maxOpen = 6;
    };

    Worker(int index, quint64 seed, const Shared &shared);
    ~Worker();
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void start();
    void requestStop();
    bool isDone() const;
    void join();
    // After join(): the ids of the readings it began and did not end.
    QVector<quint64> unendedReadings() const;

private:
    struct Reading {
        quint64 id = 0;
        CallPtr call;
    };

    void run();
    void waitForRoom();
    void step();
    const lydevice::TargetDesc &pickTarget();
    const lydevice::TargetDesc &pickIpTarget();
    void awaitAnswer(const CallPtr &call);
    void post(std::function<void()> work);

    void pictureFlow();
    void readingFlow();
    void searchVideo();
    CallPtr beginReading(const lydevice::TargetDesc &target);
    void endOwnReading();
    void endReading(std::size_t at);
    void endUnknownReading();
    CallPtr searchPicture(const lydevice::TargetDesc &target);
    CallPtr readPicturePage(const lydevice::TargetDesc &target, int page);
    CallPtr readPicture(const lydevice::TargetDesc &target, int picture);
    void cancelAll();
    void initOrCleanup();

    const int index;
    const Shared shared;
    RandomArguments args;
    std::thread thread;
    std::atomic<bool> stopping { false };
    std::atomic<bool> done { false };
    std::vector<Reading> readings;
    std::vector<quint64> endedIds;
    quint64 lastId = 0;
};

#include "Worker.h"

#include "CallGate.h"

#include <QImage>
#include <QMetaObject>
#include <QObject>

#include <chrono>
#include <utility>

using namespace lydevice;

namespace
{

// Readings a worker keeps before it ends one.
constexpr std::size_t kMaxReadings = 4;
// Ended ids kept for ending them again.
constexpr std::size_t kEndedIdsKept = 8;
// Longest wait of a flow for one answer.
constexpr auto kFlowWait = std::chrono::seconds(3);

bool knownKind(const TargetDesc &target)
{
    return target.deviceType == DeviceType::NVR || target.deviceType == DeviceType::IPC;
}

// The deliveries that end a reading, as the public header lists them.
bool isLastDelivery(const TargetDesc &target, int code, RecordVideoType type, const QList<QVariant> &records)
{
    if (!records.isEmpty())
        return false;
    const bool recorderOverLink = target.deviceType == DeviceType::NVR && target.transport == TransportType::P2p;
    return type == RecordVideoType::Alarm || code == -1
        || (recorderOverLink && type == RecordVideoType::All && code == 0);
}

SearchVideoCallbackV2 deliveryCheck(CallLedger *ledger, const CallPtr &call)
{
    return [ledger, call](int code, RecordVideoType type, QList<QVariant> records) {
        const int kind = int(type);
        if (kind != 0 && kind != 1 && kind != 2 && kind != 6)
            ledger->violation(CallLedger::describe(*call) + QStringLiteral(": a delivery of type %1").arg(kind));
        ledger->answered(call, code == -1 && records.isEmpty(), isLastDelivery(call->target, code, type, records));
    };
}

} // namespace

Worker::Worker(int index, quint64 seed, const Shared &shared)
    : index(index)
    , shared(shared)
    , args(seed)
{
}

Worker::~Worker()
{
    if (thread.joinable())
        thread.detach(); // stuck in a blocking call; the process is about to end
}

void Worker::start()
{
    thread = std::thread([this]() { run(); });
}

void Worker::requestStop()
{
    stopping = true;
}

bool Worker::isDone() const
{
    return done;
}

void Worker::join()
{
    thread.join();
}

QVector<quint64> Worker::unendedReadings() const
{
    QVector<quint64> ids;
    for (const Reading &reading : readings)
        ids.append(reading.id);
    return ids;
}

void Worker::run()
{
    while (!stopping) {
        waitForRoom();
        if (!stopping)
            step();
    }
    done = true;
}

void Worker::waitForRoom()
{
    while (!stopping && shared.ledger->openCount(index) >= shared.maxOpen)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void Worker::step()
{
    if (args.below(shared.cancelEvery) == 0) {
        cancelAll();
        return;
    }
    // The weights of the actions of the switch below, in its order.
    static const int weights[] = { 14, 12, 12, 3, 10, 10, 8, 6, 4, 1 };
    int action = 0;
    for (int roll = args.below(80); roll >= weights[action]; ++action)
        roll -= weights[action];
    switch (action) {
    case 0:
        return searchVideo();
    case 1:
        beginReading(pickTarget());
        return;
    case 2:
        return endOwnReading();
    case 3:
        return endUnknownReading();
    case 4:
        searchPicture(pickTarget());
        return;
    case 5:
        readPicturePage(pickTarget(), args.pageIndex());
        return;
    case 6:
        readPicture(pickTarget(), args.pictureIndex());
        return;
    case 7:
        return pictureFlow();
    case 8:
        return readingFlow();
    default:
        return initOrCleanup();
    }
}

const TargetDesc &Worker::pickTarget()
{
    // The last target is of a kind no device has; the worker's own comes first more often.
    const int known = shared.targets.size() - 1;
    if (args.percent(4))
        return shared.targets.at(known);
    return shared.targets.at(args.percent(80) ? index % known : args.below(known));
}

const TargetDesc &Worker::pickIpTarget()
{
    // The devices over ip come first, then the same devices over p2p.
    const int devices = (shared.targets.size() - 1) / 2;
    return shared.targets.at(args.percent(80) ? index % devices : args.below(devices));
}

void Worker::awaitAnswer(const CallPtr &call)
{
    const auto deadline = std::chrono::steady_clock::now() + kFlowWait;
    while (!stopping && shared.ledger->isOpen(call) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A picture search, then a page and a picture it found, each once the answer before it came.
void Worker::pictureFlow()
{
    const TargetDesc target = pickIpTarget();
    const CallPtr search = searchPicture(target);
    awaitAnswer(search);
    const int total = search->total;
    if (stopping || total <= 0)
        return;
    const int pageSize = target.deviceType == DeviceType::NVR ? 100 : 30;
    awaitAnswer(readPicturePage(target, args.below((total + pageSize - 1) / pageSize)));
    if (!stopping)
        awaitAnswer(readPicture(target, args.below(total)));
}

// A reading followed to its last delivery, then ended.
void Worker::readingFlow()
{
    const CallPtr reading = beginReading(pickTarget());
    awaitAnswer(reading);
    if (!readings.empty() && readings.back().call == reading)
        endReading(readings.size() - 1);
}

void Worker::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(shared.mainContext, std::move(work), Qt::QueuedConnection);
}

void Worker::searchVideo()
{
    const TargetDesc target = pickTarget();
    const QVector<int> channels = args.channels();
    const RecordVideoType type = args.videoType();
    const StreamType stream = args.stream();
    const auto span = args.span();
    CallLedger *ledger = shared.ledger;
    shared.gate->call([&](int epoch) {
        const CallPtr call = ledger->open(Export::SearchVideo, index, epoch, target, !knownKind(target));
        search_video(
            target, channels, type, stream, span.first, span.second, [ledger, call](int code, QList<QVariant> list) {
                ledger->answered(call, code == -1 && list.isEmpty(), true);
            });
    });
}

CallPtr Worker::beginReading(const TargetDesc &target)
{
    if (readings.size() >= kMaxReadings)
        endReading(std::size_t(args.below(int(readings.size()))));
    const auto span = args.span();
    const RecordVideoDesc desc { args.channels(), args.videoType(), args.stream(), span.first, span.second };
    CallLedger *ledger = shared.ledger;
    CallPtr call;
    quint64 id = 0;
    shared.gate->call([&](int epoch) {
        call = ledger->open(Export::SearchVideoBegin, index, epoch, target, !knownKind(target));
        id = search_video_begin(target, desc, deliveryCheck(ledger, call));
    });
    ledger->begun(call, id);
    if (id == 0)
        return call;
    if (id <= lastId)
        ledger->violation(CallLedger::describe(*call) + QStringLiteral(": id %1 after id %2").arg(id).arg(lastId));
    lastId = id;
    readings.push_back({ id, call });
    if (args.percent(10))
        endReading(readings.size() - 1);
    return call;
}

void Worker::endOwnReading()
{
    if (readings.empty())
        beginReading(pickTarget());
    else
        endReading(std::size_t(args.below(int(readings.size()))));
}

void Worker::endReading(std::size_t at)
{
    const Reading reading = readings.at(at);
    readings.erase(readings.begin() + std::ptrdiff_t(at));
    if (endedIds.size() == kEndedIdsKept)
        endedIds.erase(endedIds.begin());
    endedIds.push_back(reading.id);
    CallLedger *ledger = shared.ledger;
    ledger->counted(Export::SearchVideoEnd);
    if (args.percent(30)) {
        // From the main thread: the end and its mark at the same moment.
        post([ledger, reading]() {
            search_video_end(reading.id);
            ledger->endRan(reading.call);
        });
        return;
    }
    shared.gate->call([&](int) {
        search_video_end(reading.id);
        // The mark runs in the main thread after the end; the reading is checked from there on.
        post([ledger, call = reading.call]() { ledger->endRan(call); });
    });
}

void Worker::endUnknownReading()
{
    const quint64 id = !endedIds.empty() && args.percent(60)
        ? endedIds.at(std::size_t(args.below(int(endedIds.size()))))
        : args.unknownReadingId();
    shared.ledger->counted(Export::SearchVideoEnd);
    shared.gate->call([id](int) { search_video_end(id); });
}

CallPtr Worker::searchPicture(const TargetDesc &target)
{
    const QVector<int> channels = args.channels();
    const RecordPictureType type = args.pictureType();
    const auto span = args.span();
    const bool mustFail = !knownKind(target) || target.transport != TransportType::Ip;
    CallLedger *ledger = shared.ledger;
    CallPtr call;
    shared.gate->call([&](int epoch) {
        call = ledger->open(Export::SearchPicture, index, epoch, target, mustFail);
        search_picture(target, channels, type, span.first, span.second, [ledger, call](int total) {
            call->total = total;
            ledger->answered(call, total == -1, true);
        });
    });
    return call;
}

CallPtr Worker::readPicturePage(const TargetDesc &target, int page)
{
    const bool mustFail = !knownKind(target) || target.transport != TransportType::Ip;
    CallLedger *ledger = shared.ledger;
    CallPtr call;
    shared.gate->call([&](int epoch) {
        call = ledger->open(Export::ReadPicturePage, index, epoch, target, mustFail);
        read_picture_page(
            target, page, [ledger, call](QList<QVariant> list) { ledger->answered(call, list.isEmpty(), true); });
    });
    return call;
}

CallPtr Worker::readPicture(const TargetDesc &target, int picture)
{
    const bool mustFail = !knownKind(target) || target.transport != TransportType::Ip;
    CallLedger *ledger = shared.ledger;
    CallPtr call;
    shared.gate->call([&](int epoch) {
        call = ledger->open(Export::ReadPicture, index, epoch, target, mustFail);
        read_picture(target, picture, [ledger, call](quint64 size, const QImage &image) {
            ledger->answered(call, size == 0 && image.isNull(), true);
        });
    });
    return call;
}

void Worker::cancelAll()
{
    CallLedger *ledger = shared.ledger;
    const bool fromMain = args.percent(30);
    shared.gate->cancel([&](int number) {
        ledger->counted(Export::CancelAll);
        if (fromMain) {
            post([ledger, number]() {
                cancel_all_record_searching();
                ledger->cancelRan(number);
            });
            return;
        }
        cancel_all_record_searching();
        // Behind the cancel in the main thread's queue: from here on nothing it covered may answer.
        post([ledger, number]() { ledger->cancelRan(number); });
    });
}

void Worker::initOrCleanup()
{
    const bool first = args.percent(50);
    shared.ledger->counted(first ? Export::Init : Export::Cleanup);
    shared.gate->call([first](int) { first ? init() : cleanup(); });
}

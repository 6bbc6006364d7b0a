#include "ReadVideoCommand.h"

#include "Console.h"
#include "DeviceEndpoint.h"
#include "TextTable.h"

#include <QJsonArray>
#include <QPointer>
#include <QStringList>

namespace
{

constexpr int kTagBatch = 6;

} // namespace

ReadVideoCommand::ReadVideoCommand(const ToolOptions &options, Console &console, const DeviceEndpoint &endpoint)
    : Command(options, console, endpoint)
    , timeline(options.from, options.to)
{
    ticker.setInterval(250);
    connect(&ticker, &QTimer::timeout, this, &ReadVideoCommand::showProgress);
}

void ReadVideoCommand::start()
{
    setWaitingFor(QStringLiteral("search_video_begin"));
    timeline.setTitle(titleText());
    if (!options.json)
        console.out() << "read-video on " << endpoint.description() << ": " << requestText() << "\n";
    console.out().flush();
    if (console.showsProgress())
        ticker.start();

    lydevice::RecordVideoDesc desc;
    desc.channel = options.channels;
    desc.videoType = static_cast<lydevice::RecordVideoType>(options.recordType);
    desc.streamType = static_cast<lydevice::StreamType>(options.stream);
    desc.start = options.from;
    desc.end = options.to;
    QPointer<ReadVideoCommand> self(this);
    // A request that cannot start is answered inside this call, before the id is known; the id
    // is 0 then and there is no reading to end.
    const quint64 id = lydevice::search_video_begin(
        endpoint.target(), desc, [self](int code, lydevice::RecordVideoType type, QList<QVariant> records) {
            if (self)
                self->onDelivery(code, static_cast<int>(type), records);
        });
    if (!isFinished())
        readerId = id;
}

void ReadVideoCommand::onDelivery(int code, int type, const QList<QVariant> &records)
{
    if (isFinished())
        return;
    if (code == -1) {
        ticker.stop();
        endReading();
        failCall(QStringLiteral("search_video_begin failed on %1 while reading %2")
                     .arg(endpoint.description(), batchKind(type)),
            QStringLiteral("the device answered, but with an error, a reply that could not be read, or no "
                           "recordings in the span"));
        return;
    }
    // The end: type 2 with no records (a batch of type 2 is never empty). A recorder over p2p ends
    // a span without general records with (0, 0, empty list); other empty batches (an empty tag
    // page, a camera's empty first batch) are followed by more.
    const bool recorderOverP2p
        = options.deviceType == lydevice::DeviceType::NVR && options.transport == lydevice::TransportType::P2p;
    if (records.isEmpty() && (type == int(lydevice::RecordVideoType::Alarm) || (type == 0 && recorderOverP2p))) {
        ticker.stop();
        endReading();
        writeSummary(code);
        if (!options.timelinePath.isEmpty()) {
            QString error;
            if (!timeline.save(options.timelinePath, options.timelineSize, &error)) {
                fail(error);
                return;
            }
        }
        succeed();
        return;
    }

    ++batches;
    entries += records.size();
    entriesByType[type] += records.size();
    setWaitingFor(QStringLiteral("search_video_begin (after %1 %2)")
                      .arg(batches)
                      .arg(batches == 1 ? QStringLiteral("batch") : QStringLiteral("batches")));
    writeBatch(code, type, records);
    if (isTagBatch(type)) {
        const int lane = timeline.lane(batchKind(type), TimelineRenderer::Mark::Ticks);
        for (const QVariant &value : records)
            timeline.addTick(lane, value.toHash().value(QStringLiteral("time")).toDateTime());
    } else {
        entryformat::appendIntervals(records, &intervals);
        const int lane = timeline.lane(batchKind(type), TimelineRenderer::Mark::Bars);
        for (const QVariant &value : records) {
            const QVariantHash entry = value.toHash();
            timeline.addRecord(lane,
                entry.value(QStringLiteral("start")).toDateTime(),
                entry.value(QStringLiteral("end")).toDateTime());
        }
    }
    showProgress();
}

void ReadVideoCommand::endReading()
{
    if (readerId == 0)
        return;
    // Deliveries come from inside the reader's reply handler; the reader is ended once that
    // handler has returned, not from within it.
    const quint64 id = readerId;
    readerId = 0;
    QTimer::singleShot(0, [id]() { lydevice::search_video_end(id); });
}

QString ReadVideoCommand::batchKind(int type) const
{
    if (options.deviceType == lydevice::DeviceType::IPC) {
        // A camera delivers all its files first, then the files of its type codes 2 and 5 again.
        switch (type) {
        case 0:
            return QStringLiteral("all files");
        case 1:
            return QStringLiteral("type 2 files");
        case 2:
            return QStringLiteral("type 5 files");
        default:
            return QStringLiteral("type %1").arg(type);
        }
    }
    switch (type) {
    case 0:
        return QStringLiteral("general records");
    case 1:
        return QStringLiteral("events 1");
    case 2:
        return QStringLiteral("events 2");
    case kTagBatch:
        return QStringLiteral("tags");
    default:
        return QStringLiteral("type %1").arg(type);
    }
}

bool ReadVideoCommand::isTagBatch(int type) const
{
    return options.deviceType == lydevice::DeviceType::NVR && type == kTagBatch;
}

void ReadVideoCommand::writeBatch(int code, int type, const QList<QVariant> &records)
{
    if (options.json) {
        writeJson(
            QJsonObject {
                { QStringLiteral("batch"), batches },
                { QStringLiteral("code"), code },
                { QStringLiteral("type"), type },
                { QStringLiteral("kind"), batchKind(type) },
                { QStringLiteral("records"), entryformat::jsonEntries(records) },
            },
            true);
        return;
    }
    QTextStream &out = console.out();
    out << "\nbatch " << batches << ": " << batchKind(type) << " (type " << type << "), " << records.size()
        << (records.size() == 1 ? " entry" : " entries");
    if (code > 0)
        out << ", session " << code;
    out << "\n";
    if (isTagBatch(type)) {
        TextTable table({ { QStringLiteral("#"), TextTable::Right },
            { QStringLiteral("channel"), TextTable::Right },
            { QStringLiteral("id"), TextTable::Right },
            { QStringLiteral("index"), TextTable::Right },
            { QStringLiteral("time"), TextTable::Left },
            { QStringLiteral("name"), TextTable::Left } });
        int number = 0;
        for (const QVariant &value : records) {
            const QVariantHash entry = value.toHash();
            table.addRow({ QString::number(++number),
                QString::number(entry.value(QStringLiteral("chnid")).toInt()),
                QString::number(entry.value(QStringLiteral("id")).toInt()),
                QString::number(entry.value(QStringLiteral("index")).toInt()),
                entryformat::dateTimeText(entry.value(QStringLiteral("time")).toDateTime()),
                entry.value(QStringLiteral("name")).toString() });
        }
        table.write(out, QStringLiteral("  "));
    } else {
        TextTable table({ { QStringLiteral("#"), TextTable::Right },
            { QStringLiteral("kind"), TextTable::Left },
            { QStringLiteral("start"), TextTable::Left },
            { QStringLiteral("end"), TextTable::Left },
            { QStringLiteral("duration"), TextTable::Right } });
        int number = 0;
        for (const QVariant &value : records) {
            const QVariantHash entry = value.toHash();
            table.addRow({ QString::number(++number),
                entryformat::recordKindText(entry),
                entryformat::dateTimeText(entry.value(QStringLiteral("start")).toDateTime()),
                entryformat::dateTimeText(entry.value(QStringLiteral("end")).toDateTime()),
                entryformat::durationText(entryformat::entrySeconds(entry)) });
        }
        table.write(out, QStringLiteral("  "));
    }
    out.flush();
}

void ReadVideoCommand::writeSummary(int code)
{
    // A camera's batches of types 1 and 2 repeat files of its first batch; a recorder's batches
    // are distinct stages.
    const bool camera = options.deviceType == lydevice::DeviceType::IPC;
    int records = 0;
    int tags = 0;
    QStringList parts;
    for (auto it = entriesByType.constBegin(); it != entriesByType.constEnd(); ++it) {
        if (isTagBatch(it.key())) {
            tags += it.value();
            continue;
        }
        if (!camera || it.key() == 0)
            records += it.value();
        parts.append(QStringLiteral("%1 %2").arg(batchKind(it.key())).arg(it.value()));
    }
    const entryformat::Coverage covered = entryformat::coverage(intervals, options.from, options.to);

    if (options.json) {
        writeJson(
            QJsonObject {
                { QStringLiteral("end"), true },
                { QStringLiteral("code"), code },
                { QStringLiteral("command"), options.commandName },
                { QStringLiteral("device"), deviceJson() },
                { QStringLiteral("request"), requestJson() },
                { QStringLiteral("summary"),
                    QJsonObject {
                        { QStringLiteral("batches"), batches },
                        { QStringLiteral("records"), records },
                        { QStringLiteral("tags"), tags },
                        { QStringLiteral("coveredSeconds"), covered.coveredSeconds },
                        { QStringLiteral("first"), entryformat::dateTimeJson(covered.first) },
                        { QStringLiteral("last"), entryformat::dateTimeJson(covered.last) },
                        { QStringLiteral("elapsedMs"), elapsedMs() },
                    } },
            },
            true);
        return;
    }
    QTextStream &out = console.out();
    out << '\n'
        << batches << (batches == 1 ? " batch: " : " batches: ") << records
        << (records == 1 ? " record found" : " records found");
    if (!parts.isEmpty())
        out << " (" << parts.join(QStringLiteral(", ")) << ")";
    if (!camera)
        out << " and " << tags << (tags == 1 ? " tag" : " tags");
    if (records > 0)
        out << "; " << entryformat::coverageText(covered);
    out << "; elapsed " << entryformat::elapsedText(elapsedMs()) << '\n';
    out.flush();
}

void ReadVideoCommand::showProgress()
{
    if (isFinished())
        return;
    console.progress(QStringLiteral("read-video: %1 %2, %3 entries, %4")
                         .arg(batches)
                         .arg(batches == 1 ? QStringLiteral("batch") : QStringLiteral("batches"))
                         .arg(entries)
                         .arg(entryformat::elapsedText(elapsedMs())));
}

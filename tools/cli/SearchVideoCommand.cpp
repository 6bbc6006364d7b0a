#include "SearchVideoCommand.h"

#include "Console.h"
#include "DeviceEndpoint.h"
#include "EntryFormat.h"
#include "TextTable.h"
#include "TimelineRenderer.h"

#include <QJsonArray>
#include <QPointer>

void SearchVideoCommand::start()
{
    setWaitingFor(QStringLiteral("search_video"));
    QPointer<SearchVideoCommand> self(this);
    lydevice::search_video(endpoint.target(),
        options.channels,
        static_cast<lydevice::RecordVideoType>(options.recordType),
        static_cast<lydevice::StreamType>(options.stream),
        options.from,
        options.to,
        [self](int code, QList<QVariant> records) {
            if (self)
                self->onRecords(code, records);
        });
}

void SearchVideoCommand::onRecords(int code, const QList<QVariant> &records)
{
    if (isFinished())
        return;
    if (code == -1) {
        // The library folds every failure into this one answer; a recorder also reports a span
        // without recordings this way. The transport tells the failures it saw apart.
        failCall(QStringLiteral("search_video failed on %1").arg(endpoint.description()),
            QStringLiteral("the device answered, but with an error, a reply that could not be read, or no "
                           "recordings in the span"));
        return;
    }
    QVector<entryformat::Interval> intervals;
    entryformat::appendIntervals(records, &intervals);
    const entryformat::Coverage covered = entryformat::coverage(intervals, options.from, options.to);

    if (options.json) {
        writeJson(
            QJsonObject {
                { QStringLiteral("command"), options.commandName },
                { QStringLiteral("device"), deviceJson() },
                { QStringLiteral("request"), requestJson() },
                { QStringLiteral("code"), code },
                { QStringLiteral("records"), entryformat::jsonEntries(records) },
                { QStringLiteral("summary"),
                    QJsonObject {
                        { QStringLiteral("records"), records.size() },
                        { QStringLiteral("coveredSeconds"), covered.coveredSeconds },
                        { QStringLiteral("first"), entryformat::dateTimeJson(covered.first) },
                        { QStringLiteral("last"), entryformat::dateTimeJson(covered.last) },
                        { QStringLiteral("elapsedMs"), elapsedMs() },
                    } },
            },
            false);
    } else {
        writeTable(records);
        QTextStream &out = console.out();
        out << records.size() << (records.size() == 1 ? " record found" : " records found");
        if (code > 0)
            out << " (session " << code << ")";
        if (!records.isEmpty())
            out << "; " << entryformat::coverageText(covered);
        out << "; elapsed " << entryformat::elapsedText(elapsedMs()) << '\n';
        out.flush();
    }
    if (!options.timelinePath.isEmpty() && !writeTimeline(records))
        return;
    succeed();
}

void SearchVideoCommand::writeTable(const QList<QVariant> &records)
{
    QTextStream &out = console.out();
    out << "search-video on " << endpoint.description() << ": " << requestText() << "\n\n";
    TextTable table({ { QStringLiteral("#"), TextTable::Right },
        { QStringLiteral("type"), TextTable::Right },
        { QStringLiteral("start"), TextTable::Left },
        { QStringLiteral("end"), TextTable::Left },
        { QStringLiteral("duration"), TextTable::Right } });
    int number = 0;
    for (const QVariant &value : records) {
        const QVariantHash entry = value.toHash();
        table.addRow({ QString::number(++number),
            QString::number(entry.value(QStringLiteral("type")).toInt()),
            entryformat::dateTimeText(entry.value(QStringLiteral("start")).toDateTime()),
            entryformat::dateTimeText(entry.value(QStringLiteral("end")).toDateTime()),
            entryformat::durationText(entryformat::entrySeconds(entry)) });
    }
    if (table.rowCount() > 0) {
        table.write(out);
        out << '\n';
    }
}

bool SearchVideoCommand::writeTimeline(const QList<QVariant> &records)
{
    TimelineRenderer timeline(options.from, options.to);
    timeline.setTitle(titleText());
    // One lane per record type the device reported, in order of first appearance.
    for (const QVariant &value : records) {
        const QVariantHash entry = value.toHash();
        const int lane = timeline.lane(entryformat::recordKindText(entry), TimelineRenderer::Mark::Bars);
        timeline.addRecord(
            lane, entry.value(QStringLiteral("start")).toDateTime(), entry.value(QStringLiteral("end")).toDateTime());
    }
    QString error;
    if (!timeline.save(options.timelinePath, options.timelineSize, &error)) {
        fail(error);
        return false;
    }
    return true;
}

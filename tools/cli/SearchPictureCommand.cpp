#include "SearchPictureCommand.h"

#include "Console.h"
#include "DeviceEndpoint.h"
#include "EntryFormat.h"
#include "TextTable.h"

#include <QPointer>

void SearchPictureCommand::start()
{
    setWaitingFor(QStringLiteral("search_picture"));
    QPointer<SearchPictureCommand> self(this);
    lydevice::search_picture(endpoint.target(),
        options.channels,
        static_cast<lydevice::RecordPictureType>(options.recordType),
        options.from,
        options.to,
        [self](int total) {
            if (self)
                self->onSearchAnswer(total);
        });
}

void SearchPictureCommand::onSearchAnswer(int total)
{
    if (isFinished())
        return;
    if (total < 0) {
        failCall(QStringLiteral("search_picture failed on %1").arg(endpoint.description()),
            QStringLiteral("the device answered, but with an error or a reply that could not be read"));
        return;
    }
    pictureTotal = total;
    // The search operation counts as running on the device until its callback has returned, and
    // the library refuses a page or picture read while it does: the next request goes out from
    // the event loop.
    QMetaObject::invokeMethod(
        this,
        [this]() {
            if (!isFinished())
                onSearched();
        },
        Qt::QueuedConnection);
}

void SearchPictureCommand::onSearched()
{
    if (pictureTotal == 0) {
        writePage(0, {});
        succeed();
        return;
    }
    readPage(0);
}

int SearchPictureCommand::pageSize() const
{
    return options.deviceType == lydevice::DeviceType::IPC ? 30 : 100;
}

int SearchPictureCommand::pageCount() const
{
    return static_cast<int>((static_cast<qint64>(pictureTotal) + pageSize() - 1) / pageSize());
}

void SearchPictureCommand::readPage(int page)
{
    setWaitingFor(QStringLiteral("read_picture_page"));
    QPointer<SearchPictureCommand> self(this);
    lydevice::read_picture_page(endpoint.target(), page, [self, page](QList<QVariant> entries) {
        if (self && !self->isFinished())
            self->onPage(page, entries);
    });
}

void SearchPictureCommand::onPage(int page, const QList<QVariant> &entries)
{
    // search-picture shows the first page; an empty one says nothing more than the count.
    writePage(page, entries);
    succeed();
}

void SearchPictureCommand::writePage(int page, const QList<QVariant> &entries)
{
    const qint64 firstIndex = static_cast<qint64>(page) * pageSize();
    if (options.json) {
        writeJson(
            QJsonObject {
                { QStringLiteral("command"), options.commandName },
                { QStringLiteral("device"), deviceJson() },
                { QStringLiteral("request"), requestJson() },
                { QStringLiteral("pictures"), pictureTotal },
                { QStringLiteral("pageSize"), pageSize() },
                { QStringLiteral("pages"), pageCount() },
                { QStringLiteral("page"), page },
                { QStringLiteral("firstIndex"), firstIndex },
                { QStringLiteral("entries"), entryformat::jsonEntries(entries) },
                { QStringLiteral("elapsedMs"), elapsedMs() },
            },
            false);
        return;
    }
    QTextStream &out = console.out();
    out << options.commandName << " on " << endpoint.description() << ": " << requestText() << "\n\n";
    const bool recorder = options.deviceType == lydevice::DeviceType::NVR;
    QVector<TextTable::Column> columns { { QStringLiteral("#"), TextTable::Right } };
    if (recorder)
        columns.append({ QStringLiteral("channel"), TextTable::Right });
    columns.append({ QStringLiteral("time"), TextTable::Left });
    columns.append({ QStringLiteral("name"), TextTable::Left });
    TextTable table(columns);
    qint64 index = firstIndex;
    for (const QVariant &value : entries) {
        const QVariantHash entry = value.toHash();
        QStringList cells { QString::number(index++) };
        if (recorder)
            cells.append(QString::number(entry.value(QStringLiteral("channel")).toInt()));
        cells.append(entryformat::dateTimeText(entry.value(QStringLiteral("time")).toDateTime()));
        cells.append(entry.value(QStringLiteral("name")).toString());
        table.addRow(cells);
    }
    if (table.rowCount() > 0) {
        table.write(out);
        out << '\n';
    }
    out << pictureTotal << (pictureTotal == 1 ? " picture found" : " pictures found");
    if (pictureTotal > 0)
        out << " (" << pageCount() << (pageCount() == 1 ? " page" : " pages") << " of " << pageSize() << "; page "
            << page << " shown)";
    out << "; elapsed " << entryformat::elapsedText(elapsedMs()) << '\n';
    out.flush();
}

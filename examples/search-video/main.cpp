// Searches a day of recorded video on a network video recorder, first all at once, then batch by
// batch as the recorder delivers it:
//
//     example-search-video --host 192.0.2.10 [--port 80] [--user admin --password secret]
//                          [--day 2024-05-02] [--channels 0,3]
//
// Exits with 0 when both searches succeeded, 1 when one failed, 2 on bad usage.
#include <lydevice/lydevice.h>
#include <lyio/lyio.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

static QTextStream out(stdout);

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv); // QGuiApplication in a GUI client
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({
        { QStringLiteral("host"), QStringLiteral("Address of the recorder."), QStringLiteral("host") },
        { QStringLiteral("port"), QStringLiteral("Its HTTP port."), QStringLiteral("port"), QStringLiteral("80") },
        { QStringLiteral("user"), QStringLiteral("HTTP Basic user."), QStringLiteral("user") },
        { QStringLiteral("password"), QStringLiteral("HTTP Basic password."), QStringLiteral("password") },
        { QStringLiteral("day"), QStringLiteral("Day to search (default today)."), QStringLiteral("yyyy-MM-dd") },
        { QStringLiteral("channels"),
            QStringLiteral("Channels (default 0)."),
            QStringLiteral("list"),
            QStringLiteral("0") },
    });
    parser.process(app);
    const QDate day = parser.isSet(QStringLiteral("day"))
        ? QDate::fromString(parser.value(QStringLiteral("day")), Qt::ISODate)
        : QDate::currentDate();
    QVector<int> channels;
    for (const QString &channel : parser.value(QStringLiteral("channels")).split(QLatin1Char(',')))
        channels.append(channel.toInt());
    if (!parser.isSet(QStringLiteral("host")) || !day.isValid())
        parser.showHelp(2);

    lydevice::init(); // in the main thread, before anything else

    // A device is named by its kind, its transport and its handle in that transport's library;
    // here the HTTP command scheduler registers the recorder and hands out the handle.
    lydevice::TargetDesc recorder;
    recorder.deviceType = lydevice::DeviceType::NVR;
    recorder.transport = lydevice::TransportType::Ip;
    recorder.handle = tcp_scheduler_add_target(parser.value(QStringLiteral("host")),
        parser.value(QStringLiteral("port")).toUShort(),
        parser.value(QStringLiteral("user")),
        parser.value(QStringLiteral("password")));
    const QDateTime from(day, QTime(0, 0));
    const QDateTime to = from.addDays(1);

    // Stops everything (no more callbacks), closes the sessions left open on the device and quits
    // once the closing requests have had a moment to go out.
    const auto finish = [&app](int exitCode) {
        lydevice::cancel_all_record_searching();
        lydevice::cleanup();
        QTimer::singleShot(500, &app, [exitCode]() { QCoreApplication::exit(exitCode); });
    };

    // Batch by batch: general records (type 0), tags (6), event stages (1, 2). The last delivery is
    // the end, type 2 with an empty list, or a failure, code -1. search_video_end releases a reading.
    quint64 reading = 0;
    const auto readBatches = [&]() {
        const lydevice::RecordVideoDesc desc {
            channels, lydevice::RecordVideoType::All, lydevice::StreamType::Main, from, to
        };
        reading = lydevice::search_video_begin(
            recorder, desc, [&](int code, lydevice::RecordVideoType type, QList<QVariant> records) {
                out << "batch of type " << int(type) << ": " << records.size() << " records" << Qt::endl;
                const bool end = type == lydevice::RecordVideoType::Alarm && records.isEmpty();
                if (code != -1 && !end)
                    return;
                out << (code == -1 ? "reading failed" : "reading ended") << Qt::endl;
                if (reading != 0) // 0: refused at once, nothing to release
                    lydevice::search_video_end(reading);
                finish(code == -1 ? 1 : 0);
            });
    };

    // All records at once: each a QVariantHash with "type" (the device's code), "start", "end".
    lydevice::search_video(recorder,
        channels,
        lydevice::RecordVideoType::All,
        lydevice::StreamType::Main,
        from,
        to,
        [&](int code, QList<QVariant> records) {
            if (code == -1) {
                out << "search_video failed" << Qt::endl;
                finish(1);
                return;
            }
            for (const QVariant &record : records) {
                const QVariantHash fields = record.toHash();
                out << "type " << fields.value(QStringLiteral("type")).toInt() << "  "
                    << fields.value(QStringLiteral("start")).toDateTime().toString(Qt::ISODate) << " to "
                    << fields.value(QStringLiteral("end")).toDateTime().toString(Qt::ISODate) << Qt::endl;
            }
            out << records.size() << " records found" << Qt::endl;
            // The next request goes out once this callback has returned.
            QTimer::singleShot(0, &app, readBatches);
        });
    return app.exec();
}

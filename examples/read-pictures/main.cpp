// Searches the pictures a recorder captured on a day, lists the first page of them and saves the
// first picture:
//
//     example-read-pictures --host 192.0.2.10 [--port 80] [--user admin --password secret]
//                           [--day 2024-05-02] [--output picture.jpg]
//
// Exits with 0 when the picture was saved (or the day has none), 1 when a step failed, 2 on bad
// usage.
#include <lydevice/lydevice.h>
#include <lyio/lyio.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

static QTextStream out(stdout);

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv); // QImage needs no QGuiApplication to decode and save
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({
        { QStringLiteral("host"), QStringLiteral("Address of the recorder."), QStringLiteral("host") },
        { QStringLiteral("port"), QStringLiteral("Its HTTP port."), QStringLiteral("port"), QStringLiteral("80") },
        { QStringLiteral("user"), QStringLiteral("HTTP Basic user."), QStringLiteral("user") },
        { QStringLiteral("password"), QStringLiteral("HTTP Basic password."), QStringLiteral("password") },
        { QStringLiteral("day"), QStringLiteral("Day to search (default today)."), QStringLiteral("yyyy-MM-dd") },
        { QStringLiteral("output"),
            QStringLiteral("Where to save the picture; the format follows the extension."),
            QStringLiteral("file"),
            QStringLiteral("picture.jpg") },
    });
    parser.process(app);
    const QDate day = parser.isSet(QStringLiteral("day"))
        ? QDate::fromString(parser.value(QStringLiteral("day")), Qt::ISODate)
        : QDate::currentDate();
    if (!parser.isSet(QStringLiteral("host")) || !day.isValid())
        parser.showHelp(2);
    const QString output = parser.value(QStringLiteral("output"));

    lydevice::init();
    lydevice::TargetDesc recorder;
    recorder.deviceType = lydevice::DeviceType::NVR;
    recorder.transport = lydevice::TransportType::Ip; // pictures are searched over HTTP only
    recorder.handle = tcp_scheduler_add_target(parser.value(QStringLiteral("host")),
        parser.value(QStringLiteral("port")).toUShort(),
        parser.value(QStringLiteral("user")),
        parser.value(QStringLiteral("password")));
    const QDateTime from(day, QTime(0, 0));
    const QDateTime to = from.addDays(1);

    const auto finish = [&app](int exitCode) {
        lydevice::cancel_all_record_searching(); // also closes the picture search on the device
        QTimer::singleShot(500, &app, [exitCode]() { QCoreApplication::exit(exitCode); });
    };

    // The picture search keeps its session and first page per device; pages and pictures are read
    // from it. Each step is asked for once the previous callback has returned: while a callback
    // runs, its request still counts as the device's running operation and a read is refused.
    const auto readPicture = [&]() {
        lydevice::read_picture(recorder, 0, [&](quint64 size, const QImage &image) {
            if (image.isNull() || !image.save(output)) {
                out << "picture 0: " << size << " bytes, not saved" << Qt::endl;
                finish(1);
                return;
            }
            out << "saved picture 0 (" << size << " bytes, " << image.width() << "x" << image.height() << ") to "
                << output << Qt::endl;
            finish(0);
        });
    };
    const auto readFirstPage = [&]() {
        lydevice::read_picture_page(recorder, 0, [&](QList<QVariant> page) {
            // Entries: "name", "time", and on recorders "channel".
            for (const QVariant &entry : page) {
                const QVariantHash fields = entry.toHash();
                out << "channel " << fields.value(QStringLiteral("channel")).toInt() << "  "
                    << fields.value(QStringLiteral("time")).toDateTime().toString(Qt::ISODate) << "  "
                    << fields.value(QStringLiteral("name")).toString() << Qt::endl;
            }
            out << page.size() << " pictures on page 0" << Qt::endl;
            if (page.isEmpty())
                finish(1);
            else
                QTimer::singleShot(0, &app, readPicture);
        });
    };

    lydevice::search_picture(recorder, { 0 }, lydevice::RecordPictureType::All, from, to, [&](int total) {
        out << "search_picture: " << total << " pictures" << Qt::endl;
        if (total <= 0)
            finish(total == 0 ? 0 : 1);
        else
            QTimer::singleShot(0, &app, readFirstPage);
    });
    return app.exec();
}

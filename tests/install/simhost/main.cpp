// A host's own test built on the installed Simulator component: a recorder simulated in-process on
// a free port, searched through LyDevice. It passes when the search finds what the device's
// catalogue holds and the device is left with nothing open.
#include <lydevice/lydevice.h>
#include <lydevice/simulator/DeviceSimulator.h>
#include <lyio/lyio.h>

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    lydevice::init();
    lydevice::sim::DeviceSimulator device; // a recorder with the default content
    if (!device.listen())
        return 1;
    lydevice::TargetDesc recorder;
    recorder.deviceType = lydevice::DeviceType::NVR;
    recorder.handle = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), device.httpPort());
    const QDateTime start = device.options().spanStart;
    const QDateTime end = start.addSecs(device.options().spanSeconds);
    const int expected = device.catalogue().expectedVideoSearch({ 0 }, 0, start, end).size();

    int found = -1;
    lydevice::search_video(recorder,
        { 0 },
        lydevice::RecordVideoType::All,
        lydevice::StreamType::Main,
        start,
        end,
        [&](int code, QList<QVariant> records) {
            found = code == -1 ? 0 : records.size();
            lydevice::cancel_all_record_searching(); // closes what the search left open
        });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&]() {
        if (found >= 0 && device.openHandles().isEmpty())
            app.quit();
    });
    poll.start(10);
    QTimer::singleShot(10000, &app, [&]() { app.exit(1); });
    const int loop = app.exec();
    std::printf("found %d of %d records; open on the device: %d\n", found, expected, int(device.openHandles().size()));
    return loop == 0 && expected > 0 && found == expected && device.books().strayCloses().isEmpty() ? 0 : 1;
}

// A host application built against the installed package: it calls every export and checks that
// each request to a device nobody registered is answered once, in its failure form.
#include <lydevice/lydevice.h>
#include <lyio/lyio.h>

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    // Before the application object exists there is no main thread to work in: a call fails at once.
    int early = 0;
    lydevice::search_picture({}, {}, {}, {}, {}, [&](int count) { early = count; });

    QCoreApplication app(argc, argv);
    lydevice::init();

    lydevice::TargetDesc recorder;
    recorder.deviceType = lydevice::DeviceType::NVR;
    // Port 1 of loopback: nothing listens there, so every request fails in the transport.
    recorder.handle = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), 1);

    int answers = 0;
    bool allFailed = true;
    const QDateTime start = QDateTime::currentDateTime().addDays(-1);
    const QDateTime end = QDateTime::currentDateTime();

    lydevice::search_video(recorder,
        { 0 },
        lydevice::RecordVideoType::All,
        lydevice::StreamType::Main,
        start,
        end,
        [&](int code, QList<QVariant> records) {
            ++answers;
            allFailed = allFailed && code == -1 && records.isEmpty();
        });
    lydevice::search_picture(recorder, { 0 }, lydevice::RecordPictureType::Snapshot, start, end, [&](int count) {
        ++answers;
        allFailed = allFailed && count == -1;
    });
    const quint64 id = lydevice::search_video_begin(recorder,
        lydevice::RecordVideoDesc { { 0 }, {}, {}, start, end },
        [&](int code, lydevice::RecordVideoType, QList<QVariant> records) {
            ++answers;
            allFailed = allFailed && code == -1 && records.isEmpty();
        });
    // Once the three requests have failed, there is no picture session to read from either.
    QTimer poll;
    QTimer::singleShot(10000, &app, [&]() { app.exit(1); });
    QObject::connect(&poll, &QTimer::timeout, &app, [&]() {
        if (answers < 3)
            return;
        poll.stop();
        lydevice::read_picture_page(recorder, 1, [&](QList<QVariant> page) {
            ++answers;
            allFailed = allFailed && page.isEmpty();
        });
        lydevice::read_picture(recorder, 0, [&](quint64 size, const QImage &image) {
            ++answers;
            allFailed = allFailed && size == 0 && image.isNull();
        });
        lydevice::search_video_end(id);
        lydevice::cancel_all_record_searching();
        lydevice::cleanup();
        app.quit();
    });
    poll.start(10);
    const int loop = app.exec();
    std::printf("answers: %d, all failed: %s, before the application: %d\n", answers, allFailed ? "yes" : "no", early);
    return loop == 0 && answers == 5 && allFailed && early == -1 && id != 0 && recorder.handle != 0 ? 0 : 1;
}

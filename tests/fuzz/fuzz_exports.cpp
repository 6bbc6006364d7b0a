// The exports against a device that answers with fuzzed replies: four bytes, then the replies
// separated by "\n~~\n" in the order the requests go out (HTTP as received, P2P as the JSON of the
// reply object, an empty one fails; once they run out every request fails). Byte 0: device kind
// (bit 0), transport (bit 1), call (bits 2-4: search_video, search_video_begin, search_picture, a
// page or a picture of it); byte 1: stop after n - 1 replies (0: never) by a cancel, or with bit 7
// by ending the reading; byte 2: record type, stream, picture type and index; byte 3: channels.
// Every call is answered once unless stopped first, a reading ends with one last delivery, nothing
// comes after the stop, and a device that keeps failing ends every call.

#include <lydevice/lydevice.h>

#include <transport/p2p_sdk.h>
#include <transport/tcp_scheduler.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QLoggingCategory>

#include <deque>

namespace
{

using namespace lydevice;

// Requests waiting for the device. Closes are answered with a failure without taking a reply: the
// library does not wait for them, and which sessions are still open depends on earlier runs.
struct Request {
    bool close = false;
    std::function<void(bool ok, const QByteArray &reply)> answer;
};
std::deque<Request> requests;

void sendP2p(bool close, P2PCommandCallback &&callback)
{
    requests.push_back({ close, [callback = std::move(callback)](bool ok, const QByteArray &reply) {
                            callback(ok, ok ? QJsonDocument::fromJson(reply).object() : QJsonObject());
                        } });
}

} // namespace

quint64 tcp_scheduler_enqueue_command(quint64, QVector<TCPCommandDescriptor> commands, TCPCommandCallback &&callback)
{
    bool close = false;
    for (const auto &pair : commands.value(0).query)
        close = close || pair.first.contains(QLatin1String("close")) || pair.second.contains(QLatin1String("close"));
    requests.push_back({ close, [callback = std::move(callback)](bool ok, const QByteArray &reply) {
                            callback(ok, 0, ok ? QVector<QByteArray> { reply } : QVector<QByteArray>());
                        } });
    return 0;
}

void lyp2psdk_send_command(int, IPCCommand, QJsonObject, P2PCommandCallback &&callback, int)
{
    sendP2p(false, std::move(callback));
}

void lyp2psdk_send_command(int, NVRCommand command, QJsonObject, P2PCommandCallback &&callback, int)
{
    const int number = int(command);
    sendP2p(number == 17 || number == 18 || number == 30, std::move(callback));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char *argv[] = { const_cast<char *>("fuzz_exports"), nullptr };
    // For the whole process, like a host's. Messages off: what fails is fatal.
    static const bool started
        = (QLoggingCategory::setFilterRules(QStringLiteral("*=false")), new QCoreApplication(argc, argv), init(), true);
    if (size < 4 || !started)
        return 0;
    static int runs = 0;
    const int run = ++runs; // a callback that comes in a later run came after its stop

    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const QByteArray separator("\n~~\n");
    QList<QByteArray> replies;
    for (int from = 4, at = 0; from <= input.size(); from = at + separator.size()) {
        at = input.indexOf(separator, from);
        at = at < 0 ? input.size() : at;
        replies.append(input.mid(from, at - from));
    }
    TargetDesc target { DeviceType(data[0] & 1), TransportType(data[0] >> 1 & 1), 1u + (data[0] & 3) };
    const int call = (data[0] >> 2) % 5;
    const QVector<int> channels(data[3] % 3, data[3] % 70); // 0 to 2 channels; 64 on do not exist
    const QDateTime from(QDate(2024, 3, 1), QTime(0, 0));
    const QDateTime to = from.addDays(1);
    const auto type = RecordVideoType(data[2] % 7);
    const auto stream = StreamType(data[2] >> 7);
    const bool recorderP2p = target.deviceType == DeviceType::NVR && target.transport == TransportType::P2p;

    int answered = 0; // the call's last answer; for a reading its last delivery
    bool searched = false;
    bool stopped = false;
    const auto answer = [&, run](bool last) {
        Q_ASSERT(run == runs && !stopped && answered == 0);
        answered += last;
    };
    quint64 reading = 0;
    if (call == 0) {
        search_video(target, channels, type, stream, from, to, [answer](int code, QList<QVariant> records) {
            Q_ASSERT(code != -1 || records.isEmpty());
            answer(true);
        });
    } else if (call == 1) {
        reading = search_video_begin(target,
            { channels, type, stream, from, to },
            [answer, recorderP2p](int code, RecordVideoType batch, QList<QVariant> records) {
                Q_ASSERT(code != -1 || records.isEmpty());
                const bool end = batch == RecordVideoType::Alarm && records.isEmpty();
                const bool noGeneral = recorderP2p && code == 0 && batch == RecordVideoType::All && records.isEmpty();
                answer(code == -1 || end || noGeneral);
            });
    } else {
        search_picture(target, channels, RecordPictureType(data[2] % 3), from, to, [answer, call, &searched](int) {
            answer(call == 2);
            Q_ASSERT(!searched);
            searched = true;
        });
    }

    int given = 0;
    int failures = 0;
    bool read = false;
    for (int idle = 0; idle < 4; ++idle) {
        QCoreApplication::processEvents();
        if (call >= 3 && searched && !read && !stopped) {
            read = true;
            const int index = int(data[2] >> 2) - 1;
            if (call == 3)
                read_picture_page(target, index, [answer](QList<QVariant>) { answer(true); });
            else
                read_picture(target, index, [answer](quint64 bytes, const QImage &image) {
                    Q_ASSERT(bytes > 0 || image.isNull());
                    answer(true);
                });
        }
        if (given + 1 == (data[1] & 0x7f) && !stopped) {
            stopped = true;
            call == 1 && data[1] & 0x80 ? search_video_end(reading) : cancel_all_record_searching();
        }
        if (requests.empty())
            continue;
        idle = 0;
        const Request request = std::move(requests.front());
        requests.pop_front();
        const bool takes = !request.close && given < replies.size();
        failures += !request.close && !takes;
        Q_ASSERT(failures < 64);
        const QByteArray reply = takes ? replies.at(given++) : QByteArray();
        request.answer(!reply.isEmpty(), reply);
    }
    Q_ASSERT(stopped || answered == 1);

    // Release the reading, close what the device still holds.
    stopped = true;
    if (reading)
        search_video_end(reading);
    cancel_all_record_searching();
    for (; !requests.empty(); QCoreApplication::processEvents()) {
        const Request request = std::move(requests.front());
        requests.pop_front();
        request.answer(false, {});
    }
    return 0;
}

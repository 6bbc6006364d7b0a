#include "FakeDevice.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QRegularExpression>

namespace lydevice::test
{

namespace
{

    // Words of the requests: the HTTP route, the P2P route, and the member naming what a close closes.
    struct Word {
        const char *word;
        const char *http;
        const char *p2p;
        const char *httpHandle;
        const char *p2pHandle;
    };
    const Word words[] = {
        { "info", "get.playback.recordinfo", "nvr:25", nullptr, nullptr },
        { "page", "get.playback.recordinfo_page", "nvr:26", nullptr, nullptr },
        { "tags", "get.playback.tags_search_open", "nvr:29", nullptr, nullptr },
        { "tagPage", "get.playback.tags_search_page", "nvr:31", nullptr, nullptr },
        { "tagClose", "get.playback.tags_search_close", "nvr:30", "sid0", "sid0" },
        { "event", "get.playback.evt_backup_search", "nvr:27", nullptr, nullptr },
        { "eventPage", "get.playback.evt_backup_search_page", "nvr:28", nullptr, nullptr },
        { "eventClose", "get.playback.evt_backup_search_close", "nvr:18", "sid", "r.sid" },
        { "stop", "set.playback.stop_batch", "nvr:17", "sid[0]", "r.sid[0]" },
        { "picOpen", "get.playback.picture_backup_search_open", "", nullptr, nullptr },
        { "picPage", "get.playback.picture_backup_search_page", "", nullptr, nullptr },
        { "picIndex", "get.playback.picture_backup_search_index", "", nullptr, nullptr },
        { "picClose", "get.playback.picture_backup_search_close", "", "sid", nullptr },
        { "count", "PBFileTotalPage", "ipc:9", nullptr, nullptr },
        { "files", "PBFilePageIndex", "ipc:55", nullptr, nullptr },
        { "list", "sdexplorer", "", nullptr, nullptr },
        { "download", "dataloader", "", nullptr, nullptr },
        { "close", "closelyfshandle", "", "closelyfshandle", nullptr },
    };

    const Word *wordOf(const QString &name)
    {
        for (const Word &word : words) {
            if (name == QLatin1String(word.word))
                return &word;
        }
        return nullptr;
    }

    QString deviceTime(const QDateTime &time)
    {
        return QLocale::c().toString(time, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }

    // One scripted answer, as the script words it.
    struct Step {
        QString word;
        QStringList args;
        QVector<QPair<QString, QString>> overrides;
        QStringList flags;
        bool fail = false;
        bool held = false;
        int status = 200;
        int first = 0;

        int count(int i) const
        {
            return args.value(0).split(QLatin1Char('/')).value(i).toInt();
        }
    };

    // Splits at `separator` outside quoted texts, dropping empty parts.
    QStringList splitOutsideQuotes(const QString &text, QChar separator)
    {
        QStringList parts(QString {});
        bool quoted = false;
        for (const QChar c : text) {
            quoted ^= c == QLatin1Char('"');
            if (c == separator && !quoted)
                parts << QString();
            else
                parts.last() += c;
        }
        parts.removeAll(QString());
        return parts;
    }

    Step parseStep(const QString &text)
    {
        const QStringList tokens = splitOutsideQuotes(text, QLatin1Char(' '));
        Step step;
        step.word = tokens.value(0);
        static const QRegularExpression number(QStringLiteral("^[-0-9./]+$"));
        for (QString token : tokens.mid(1)) {
            if (token.contains(QLatin1Char('='))) {
                step.overrides.append({ token.section(QLatin1Char('='), 0, 0), token.section(QLatin1Char('='), 1) });
                continue;
            }
            if (token.contains(QLatin1Char('@'))) {
                step.first = token.section(QLatin1Char('@'), 1).toInt();
                token = token.section(QLatin1Char('@'), 0, 0);
            }
            if (token.isEmpty())
                continue;
            if (token == QLatin1String("fail"))
                step.fail = true;
            else if (token == QLatin1String("held"))
                step.held = true;
            else if (token.startsWith(QLatin1String("http")))
                step.status = token.mid(4).toInt();
            else if (number.match(token).hasMatch() || step.word == QLatin1String("files"))
                step.args << token;
            else
                step.flags << token;
        }
        return step;
    }

    // A value written in a script: "text", nothing (remove the member), or a number.
    QJsonValue scriptValue(const QString &raw)
    {
        if (raw.isEmpty())
            return QJsonValue(QJsonValue::Undefined);
        if (raw.startsWith(QLatin1Char('"')))
            return raw.mid(1, raw.size() - 2);
        return raw.toDouble();
    }

    QString plain(const QJsonValue &value)
    {
        return value.toVariant().toString();
    }

    using Members = QVector<QPair<QString, QJsonValue>>;

    void applyOverrides(Members &members, const Step &step)
    {
        for (const auto &override : step.overrides) {
            members.erase(
                std::remove_if(
                    members.begin(), members.end(), [&](const auto &member) { return member.first == override.first; }),
                members.end());
            const QJsonValue value = scriptValue(override.second);
            if (!value.isUndefined())
                members.append({ override.first, value });
        }
    }

    QByteArray pairLines(const Members &members, const QByteArray &prefix)
    {
        QByteArray text;
        for (const auto &member : members)
            text += prefix + member.first.toUtf8() + '=' + plain(member.second).toUtf8() + "\r\n";
        return text;
    }

    QJsonObject object(const Members &members)
    {
        QJsonObject result;
        for (const auto &member : members)
            result.insert(member.first, member.second);
        return result;
    }

    QByteArray pictureBytes(const Step &step)
    {
        for (const char *kind : { "png", "jpeg", "wide" }) {
            if (step.flags.contains(QLatin1String(kind)))
                return scriptedPicture(kind);
        }
        return scriptedPicture("junk");
    }

    QByteArray chunked(const QByteArray &body)
    {
        QByteArray raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
        for (int at = 0; at < body.size(); at += 64)
            raw += QByteArray::number(body.mid(at, 64).size(), 16) + "\r\n" + body.mid(at, 64) + "\r\n";
        return raw + "0\r\n\r\n";
    }

    // The camera's picture list: JSON that begins with a member "sEcho" without a value.
    QByteArray pictureList(const Step &step)
    {
        if (step.flags.contains(QLatin1String("junk")))
            return QByteArrayLiteral("<html>busy</html>");
        QString session = QStringLiteral("3&5f2c-uuid");
        int columns = 7;
        Step top = step; // what is left sets members of the list itself
        top.overrides.clear();
        for (const auto &override : step.overrides) {
            if (override.first == QLatin1String("session"))
                session = scriptValue(override.second).toString();
            else if (override.first == QLatin1String("cols"))
                columns = override.second.toInt();
            else
                top.overrides.append(override);
        }
        QJsonArray rows;
        for (int i = 0; i < step.count(0); ++i) {
            const int index = step.first + i;
            QJsonArray row { QStringLiteral("IMG_%1.jpg").arg(index),
                deviceTime(pictureTime(index)),
                1,
                0,
                20480,
                session,
                QStringLiteral("jpg"),
                QStringLiteral("extra") };
            while (row.size() > columns)
                row.removeLast();
            rows.append(row);
        }
        if (step.flags.contains(QLatin1String("ragged")))
            rows = QJsonArray { rows.first(),
                QJsonArray(),
                QJsonArray { QStringLiteral("only-a-name") },
                QJsonArray { 42, QStringLiteral("yesterday") },
                QStringLiteral("no row at all") };
        Members members { { QStringLiteral("iTotalRecords"), step.count(1) }, { QStringLiteral("aaData"), rows } };
        applyOverrides(members, top);
        const QByteArray json = QJsonDocument(object(members)).toJson(QJsonDocument::Compact);
        return object(members).contains(QStringLiteral("sEcho")) ? json : "{\"sEcho\": ," + json.mid(1);
    }

    QByteArray download(const Step &step)
    {
        QByteArray head("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Disposition: attachment\r\n\r\n");
        if (step.flags.contains(QLatin1String("lf")))
            head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\nContent-Disposition: x.png\n\n";
        else if (step.flags.contains(QLatin1String("pre")))
            head = "HTTP/1.1 200 OK\r\nX-A: 1\r\n\r\nContent-Disposition: y\r\n\r\n";
        else if (step.flags.contains(QLatin1String("nocd")))
            head = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n";
        else if (step.flags.contains(QLatin1String("noend")))
            return "HTTP/1.1 200 OK\r\nContent-Disposition: attachment\r\n";
        return head + pictureBytes(step);
    }

    // The members of a recorder or camera reply; `item` numbers the generated records and files.
    Members replyMembers(const Step &step, bool p2p, int &item)
    {
        const QString &w = step.word;
        const bool events = w.startsWith(QLatin1String("event"));
        const bool tags = w.startsWith(QLatin1String("tag"));
        const bool opening = w == QLatin1String("info") || w == QLatin1String("tags") || w == QLatin1String("event");
        // Over P2P the recorder writes the counts of its openings and record-info pages as text and
        // those of its tag and event pages as numbers; the tag search writes handle and total as numbers.
        const auto count = [&](int value, bool asText) {
            return asText && p2p ? QJsonValue(QString::number(value)) : QJsonValue(value);
        };
        const QString prefix = events && p2p ? QStringLiteral("r.") : QString();
        Members members;
        if (w == QLatin1String("count")) {
            if (!step.args.isEmpty())
                members.append({ p2p ? QStringLiteral("total_page") : QStringLiteral("pbfiletotalpage"),
                    p2p ? QJsonValue(step.args.first().toDouble()) : QJsonValue(step.args.first()) });
        } else if (w == QLatin1String("files")) {
            QStringList files;
            for (const QString &type : step.args) {
                if (type == QLatin1String("x")) {
                    files << QStringLiteral("garbage");
                    continue;
                }
                const QDateTime start = recordBase().addSecs(60 * item++);
                files << type + QLocale::c().toString(start, QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral("_600");
            }
            if (p2p)
                members.append({ QStringLiteral("file_list"), QJsonArray::fromStringList(files) });
            else
                members.append({ QStringLiteral("pbfilepageindex"), files.join(QLatin1Char(';')) + QLatin1Char(';') });
        } else if (w.startsWith(QLatin1String("pic"))) {
            members = { { QStringLiteral("cnt"), step.count(0) },
                { QStringLiteral("sid"), step.count(2) },
                { QStringLiteral("allCnt"), step.count(1) } };
            for (int i = 0; i < step.count(0); ++i) {
                const int index = step.first + i;
                const QString n = QString::number(i);
                members.append({ QStringLiteral("pts") + n, QString::number(recorderPictureBase + index) });
                members.append({ QStringLiteral("pTime") + n, deviceTime(pictureTime(index)) });
                members.append({ QStringLiteral("chnid") + n, index % 5 + 1 });
            }
        } else {
            members.append(
                { prefix + QStringLiteral("cnt"), count(step.count(0), opening || w == QLatin1String("page")) });
            if (opening) {
                members.append({ prefix + QStringLiteral("allCnt"), count(step.count(1), !tags) });
                members.append({ prefix + QStringLiteral("sid"), count(step.count(2), !tags) });
            }
            for (int i = 0; i < step.count(0); ++i, ++item) {
                const QString n = QString::number(i);
                const QDateTime start = recordBase().addSecs(60 * item);
                if (tags) {
                    members.append({ QStringLiteral("chnid") + n, QString::number(item % 4) });
                    members.append({ QStringLiteral("id") + n, QString::number(100 + item) });
                    members.append({ QStringLiteral("index") + n, QString::number(item) });
                    members.append({ QStringLiteral("name") + n,
                        QString::fromLatin1(tagName(item).toUtf8().toPercentEncoding()) });
                    members.append({ QStringLiteral("time") + n, deviceTime(start) });
                    continue;
                }
                const auto key = [&](const char *name) {
                    return p2p ? QStringLiteral("r[%1].%2").arg(i).arg(QLatin1String(name)) : QLatin1String(name) + n;
                };
                members.append({ key("startTime"), deviceTime(start) });
                members.append({ key("endTime"), deviceTime(start.addSecs(30)) });
                members.append({ key("recordType"), count(recordType(item), true) });
            }
        }
        applyOverrides(members, step);
        return members;
    }

    HttpAnswer httpAnswer(const Step &step, int &item)
    {
        if (step.fail)
            return HttpAnswer { false, {}, false };
        if (step.status != 200)
            return HttpAnswer::status(step.status);
        if (step.word == QLatin1String("list"))
            return HttpAnswer::body(pictureList(step));
        if (step.word == QLatin1String("download"))
            return HttpAnswer { true, download(step), false };
        if (step.word == QLatin1String("picIndex")) {
            const QByteArray data = step.flags.contains(QLatin1String("nodata"))
                ? QByteArray()
                : "data=" + pictureBytes(step).toBase64() + "\r\n";
            const QByteArray body
                = (step.flags.contains(QLatin1String("bare")) ? "" : "result=0\r\nchnid=2\r\n") + data;
            return step.flags.contains(QLatin1String("chunked")) ? HttpAnswer { true, chunked(body), false }
                                                                 : HttpAnswer::body(body);
        }
        const bool camera = step.word == QLatin1String("count") || step.word == QLatin1String("files");
        QByteArray body = pairLines(replyMembers(step, false, item), camera ? "OK " : "");
        if (step.flags.contains(QLatin1String("oversized")))
            body += (camera ? "OK pad=" : "pad=") + QByteArray(5 << 20, 'x') + "\r\n";
        return HttpAnswer::body(body);
    }

} // namespace

QString SentRequest::route() const
{
    if (!isHttp)
        return (recorder ? QStringLiteral("nvr:") : QStringLiteral("ipc:")) + QString::number(command);
    if (path == QLatin1String("/sdk.cgi"))
        return value(QStringLiteral("action"));
    if (path == QLatin1String("/dataloader.cgi"))
        return QStringLiteral("dataloader");
    if (path != QLatin1String("/vb.htm") || query.isEmpty())
        return path;
    return value(QStringLiteral("page")).isEmpty() ? query.last().first : value(QStringLiteral("page"));
}

QString SentRequest::word() const
{
    for (const Word &word : words) {
        if (route() == QLatin1String(isHttp ? word.http : word.p2p))
            return QLatin1String(word.word);
    }
    return route();
}

QString SentRequest::value(const QString &key) const
{
    if (!isHttp) {
        const QJsonValue member = request.value(key);
        return member.isUndefined()
            ? QString()
            : QString::fromUtf8(QJsonDocument(QJsonArray { member }).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    }
    for (const auto &pair : query) {
        if (pair.first == key)
            return pair.second;
    }
    return QString();
}

QString SentRequest::text() const
{
    if (!isHttp)
        return QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact));
    QStringList pairs;
    for (const auto &pair : query)
        pairs << pair.first + QLatin1Char('=') + pair.second;
    return pairs.join(QLatin1Char('&'));
}

HttpAnswer HttpAnswer::body(const QByteArray &body)
{
    return { true,
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
            + body,
        false };
}

HttpAnswer HttpAnswer::status(int code)
{
    return { true, "HTTP/1.1 " + QByteArray::number(code) + " Status\r\nContent-Length: 0\r\n\r\n", false };
}

QDateTime recordBase()
{
    return QDateTime(QDate(2024, 3, 5), QTime(7, 0, 0));
}

QDateTime pictureTime(int index)
{
    return recordBase().addSecs(7 * index);
}

QString tagName(int index)
{
    return QStringLiteral("标签 %1").arg(index);
}

int recordType(int item)
{
    static const int types[] = { 1, 16, 5 };
    return types[item % 3];
}

QByteArray scriptedPicture(const char *kind)
{
    if (qstrcmp(kind, "junk") == 0)
        return QByteArrayLiteral("these bytes are no picture");
    if (qstrcmp(kind, "wide") == 0) {
        // A few hundred bytes that claim more pixels than any camera takes.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImage wide(20000, 1, QImage::Format_Mono);
        wide.fill(0);
        wide.save(&buffer, "PNG");
        return bytes;
    }
    return encodedPicture(qstrcmp(kind, "png") == 0 ? "PNG" : "JPEG");
}

QImage samplePicture()
{
    QImage image(40, 24, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 10, (x + y) % 2 ? 200 : 40));
    }
    return image;
}

QByteArray encodedPicture(const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    samplePicture().save(&buffer, format);
    return bytes;
}

FakeDevice::FakeDevice()
{
    // What goes on the wire must not depend on the host: every test runs with a default locale that
    // writes its own digits.
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
}

FakeDevice &FakeDevice::instance()
{
    static FakeDevice device;
    return device;
}

void FakeDevice::reset()
{
    ++generation; // answers still scheduled for the previous test are dropped
    scheduled.clear();
    log.clear();
    httpScript.clear();
    p2pScript.clear();
    heldAnswers.clear();
    nextItem = 0;
}

void FakeDevice::script(bool p2p, const QString &script)
{
    for (const QString &part : splitOutsideQuotes(script, QLatin1Char(';'))) {
        if (part.trimmed().isEmpty())
            continue;
        const Step step = parseStep(part);
        const Word *word = wordOf(step.word);
        const QString route = word ? QLatin1String(p2p ? word->p2p : word->http) : step.word;
        if (!p2p) {
            HttpAnswer answer = httpAnswer(step, nextItem);
            answer.held = step.held;
            httpScript[route].enqueue(answer);
        } else {
            const QJsonObject reply = step.fail ? QJsonObject() : object(replyMembers(step, true, nextItem));
            p2pScript[route].enqueue(P2pAnswer { !step.fail, reply, step.held });
        }
    }
}

const QVector<SentRequest> &FakeDevice::sent() const
{
    return log;
}

QString FakeDevice::routes(int from) const
{
    QStringList result;
    for (const SentRequest &request : log.mid(from)) {
        QString name = request.word();
        const Word *word = wordOf(name);
        const char *handle = word ? (request.isHttp ? word->httpHandle : word->p2pHandle) : nullptr;
        if (handle)
            name += QLatin1Char(':')
                + (request.isHttp ? request.value(QLatin1String(handle))
                                  : plain(request.request.value(QLatin1String(handle))));
        result << name;
    }
    return result.join(QLatin1Char(' '));
}

QString FakeDevice::check(const QString &check) const
{
    static const QRegularExpression form(QStringLiteral("^(\\w+)(?:#(\\d+))?(?:\\.([^=]+))?=(.*)$"));
    const QRegularExpressionMatch match = form.match(check);
    if (!match.hasMatch())
        return QStringLiteral("malformed check: ") + check;
    int wanted = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
    for (const SentRequest &request : log) {
        if (request.word() != match.captured(1) || --wanted > 0)
            continue;
        const QString found = match.captured(3).isEmpty() ? request.text() : request.value(match.captured(3));
        return found == match.captured(4) ? QString() : check + QStringLiteral(" but found ") + found;
    }
    return check + QStringLiteral(" but no such request was sent");
}

int FakeDevice::heldCount() const
{
    return heldAnswers.size();
}

void FakeDevice::releaseHeld()
{
    const auto held = std::exchange(heldAnswers, {});
    for (const auto &answer : held)
        deliverLater(answer.first, false, answer.second);
}

bool FakeDevice::waitIdle(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!scheduled.isEmpty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // One more turn for work that the last answers queued.
    QCoreApplication::processEvents();
    return scheduled.isEmpty();
}

QString FakeDevice::pendingRoutes() const
{
    return scheduled.join(QStringLiteral(", "));
}

void FakeDevice::deliverLater(const QString &route, bool held, std::function<void()> answer)
{
    if (!QCoreApplication::instance())
        return; // the closes sent while the library is unloaded get no answer
    if (held) {
        heldAnswers.append({ route, std::move(answer) });
        return;
    }
    scheduled << route;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, route, answer = std::move(answer), scheduledIn = generation]() {
            if (scheduledIn != generation)
                return;
            scheduled.removeOne(route);
            answer();
        },
        Qt::QueuedConnection);
}

void FakeDevice::enqueue(quint64 target, const QVector<TCPCommandDescriptor> &commands, TCPCommandCallback callback)
{
    SentRequest request;
    request.target = target;
    if (!commands.isEmpty()) {
        request.path = commands.first().path;
        request.query = commands.first().query;
    }
    log << request;
    auto &queue = httpScript[request.route()];
    const HttpAnswer answer = queue.isEmpty() ? HttpAnswer { false, {}, false } : queue.dequeue();
    deliverLater(request.route(), answer.held, [callback = std::move(callback), answer]() {
        if (callback)
            callback(answer.ok, 0, answer.ok ? QVector<QByteArray> { answer.raw } : QVector<QByteArray> {});
    });
}

void FakeDevice::send(
    int handle, bool recorder, int command, const QJsonObject &request, P2PCommandCallback callback, int timeout)
{
    SentRequest sent;
    sent.isHttp = false;
    sent.target = quint64(quint32(handle));
    sent.recorder = recorder;
    sent.command = command;
    sent.request = request;
    sent.timeout = timeout;
    log << sent;
    auto &queue = p2pScript[sent.route()];
    const P2pAnswer answer = queue.isEmpty() ? P2pAnswer { false, {}, false } : queue.dequeue();
    deliverLater(sent.route(), answer.held, [callback = std::move(callback), answer]() {
        if (callback)
            callback(answer.ok, answer.reply);
    });
}

} // namespace lydevice::test

quint64 tcp_scheduler_enqueue_command(
    quint64 target, QVector<TCPCommandDescriptor> commands, TCPCommandCallback &&callback)
{
    lydevice::test::FakeDevice::instance().enqueue(target, commands, std::move(callback));
    return 0;
}

void lyp2psdk_send_command(
    int handle, IPCCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout)
{
    lydevice::test::FakeDevice::instance().send(handle, false, int(command), request, std::move(callback), timeout);
}

void lyp2psdk_send_command(
    int handle, NVRCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout)
{
    lydevice::test::FakeDevice::instance().send(handle, true, int(command), request, std::move(callback), timeout);
}

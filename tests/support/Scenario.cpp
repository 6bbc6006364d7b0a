#include "Scenario.h"

#include "FakeDevice.h"

#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace lydevice::test
{

namespace
{

    // The answers of one row; shared with the callbacks, so that a late call never writes to a gone frame.
    struct Log {
        QStringList answers;
        bool inCall = false;

        void add(const QString &answer)
        {
            answers << (inCall ? QStringLiteral("!") : QString()) + answer;
        }
    };

    bool isTime(const QVariant &value)
    {
        return value.userType() == QMetaType::QDateTime && value.toDateTime().isValid();
    }

    // The number the fake device gave an entry, or -1 when the entry is not what it sent.
    int itemOf(const QVariantHash &entry)
    {
        const auto has = [&](const char *key) { return entry.contains(QLatin1String(key)); };
        const auto value = [&](const char *key) { return entry.value(QLatin1String(key)); };
        const auto is = [&](const char *key, const QVariant &expected) {
            return value(key).userType() == expected.userType() && value(key) == expected;
        };
        if (has("chnid")) { // a tag
            const int k = value("id").toInt() - 100;
            const bool same = entry.size() == 5 && is("id", 100 + k) && is("name", tagName(k)) && is("chnid", k % 4)
                && is("index", k) && isTime(value("time"))
                && value("time").toDateTime() == recordBase().addSecs(60 * k);
            return same ? k : -1;
        }
        if (has("name")) { // a picture: a recorder's time stamp with its channel, a camera's "IMG_<k>.jpg"
            static const QRegularExpression form(QStringLiteral("^(?:IMG_(\\d+)\\.jpg|(\\d{13}))$"));
            const QRegularExpressionMatch name = form.match(value("name").toString());
            const bool recorder = name.hasMatch() && name.capturedLength(2) > 0;
            const int k
                = recorder ? int(name.captured(2).toLongLong() - recorderPictureBase) : name.captured(1).toInt();
            const bool same = name.hasMatch() && isTime(value("time")) && value("time").toDateTime() == pictureTime(k)
                && (recorder ? entry.size() == 3 && is("channel", k % 5 + 1) : entry.size() == 2);
            return same ? k : -1;
        }
        if (!isTime(value("start")) || !isTime(value("end")))
            return -1;
        const QDateTime start = value("start").toDateTime();
        const qint64 offset = recordBase().secsTo(start);
        const int k = int(offset / 60);
        const qint64 length = start.secsTo(value("end").toDateTime());
        if (offset % 60 != 0)
            return -1;
        if (has("isAnr")) // a record of a recorder reader
            return entry.size() == 4 && length == 30 && is("isAnr", recordType(k) == 16)
                    && is("isEvent", recordType(k) == 5)
                ? k
                : -1;
        // A record of a video search: a recorder's lasts 30 s, a camera's file 600 s.
        const bool typed = entry.size() == 3 && value("type").userType() == QMetaType::Int;
        return typed && (length == 600 || (length == 30 && is("type", recordType(k)))) ? k : -1;
    }

    QString pictureText(quint64 size, const QImage &image)
    {
        QString text = QString::number(size);
        for (const char *kind : { "png", "jpeg", "junk", "wide" }) {
            if (size == quint64(scriptedPicture(kind).size()))
                text = QLatin1String(kind);
        }
        if (image.isNull())
            return text + QStringLiteral(":null");
        if (image.convertToFormat(QImage::Format_RGB32) == samplePicture())
            return text + QStringLiteral(":pic");
        return text + QStringLiteral(":%1x%2").arg(image.width()).arg(image.height());
    }

    QString waitForAnswers()
    {
        FakeDevice &device = FakeDevice::instance();
        return device.waitIdle() ? QString() : QStringLiteral("answers still pending: ") + device.pendingRoutes();
    }

    // Runs the calls; gives what went wrong, or nothing.
    QString runCalls(const TargetDesc &target, const QString &calls, const std::shared_ptr<Log> &log)
    {
        QVector<quint64> ids;
        for (const QString &call : calls.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QStringList words = call.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const QString verb = words.takeFirst();
            QHash<QString, QString> option;
            for (const QString &word : words)
                option.insert(word.section(QLatin1Char('='), 0, 0), word.section(QLatin1Char('='), 1));
            const int number = words.value(0).toInt();
            const auto channels = [&](const char *fallback) {
                QVector<int> list;
                const QString text = option.value(QStringLiteral("ch"), QLatin1String(fallback));
                for (const QString &channel : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
                    list << channel.toInt();
                return list;
            };
            const int type = option.value(QStringLiteral("type")).toInt();
            const auto stream = StreamType(option.value(QStringLiteral("stream"), QStringLiteral("1")).toInt());
            log->inCall = true;
            if (verb == QLatin1String("video")) {
                search_video(target,
                    channels("3,0"),
                    RecordVideoType(type),
                    stream,
                    spanStart(),
                    spanEnd(),
                    [log](int code, QList<QVariant> records) {
                        log->add(QStringLiteral("v%1:").arg(code) + summary(records));
                    });
            } else if (verb == QLatin1String("pictures")) {
                search_picture(
                    target, channels("0,3"), RecordPictureType(type), spanStart(), spanEnd(), [log](int count) {
                        log->add(QStringLiteral("s%1").arg(count));
                    });
            } else if (verb == QLatin1String("page")) {
                read_picture_page(target, number, [log](QList<QVariant> entries) {
                    log->add(QStringLiteral("p") + summary(entries));
                });
            } else if (verb == QLatin1String("read")) {
                read_picture(target, number, [log](quint64 size, const QImage &image) {
                    log->add(QStringLiteral("r") + pictureText(size, image));
                });
            } else if (verb == QLatin1String("begin")) {
                const RecordVideoDesc desc { channels("3,0"), RecordVideoType(type), stream, spanStart(), spanEnd() };
                // The reader's id, and the number of its deliveries so far.
                const auto id = std::make_shared<QPair<quint64, int>>(0, 0);
                const int endAt = option.value(QStringLiteral("endAt")).toInt();
                id->first = search_video_begin(
                    target, desc, [log, id, endAt](int code, RecordVideoType type, QList<QVariant> records) {
                        log->add(QStringLiteral("b%1:%2:").arg(code).arg(int(type)) + summary(records));
                        if (++id->second == endAt)
                            search_video_end(id->first);
                    });
                if (id->first == 0)
                    log->add(QStringLiteral("id0"));
                else if (ids.contains(id->first))
                    return QStringLiteral("two readers got the same id");
                ids << id->first;
            } else if (verb == QLatin1String("end")) {
                search_video_end(ids.value(words.isEmpty() ? ids.size() - 1 : number - 1));
            } else if (verb == QLatin1String("cancel")) {
                cancel_all_record_searching();
            } else if (verb == QLatin1String("cleanup")) {
                cleanup();
            } else if (verb == QLatin1String("release")) {
                FakeDevice::instance().releaseHeld();
            } else if (verb != QLatin1String("idle")) {
                return QStringLiteral("unknown call: ") + verb;
            }
            log->inCall = false;
            if (verb == QLatin1String("idle") || verb == QLatin1String("release")) {
                const QString pending = waitForAnswers();
                if (!pending.isEmpty())
                    return pending;
            }
        }
        return waitForAnswers();
    }

} // namespace

TargetDesc newTarget(const QString &kind)
{
    // The high half tells whether a P2P command got the low 32 bits of the handle.
    static quint64 handle = 0x5a00000000ull;
    const QStringList words = kind.split(QLatin1Char(' '));
    const QString device = words.value(0);
    const QString transport = words.value(1);
    return { device == QLatin1String("nvr")  ? DeviceType::NVR
            : device == QLatin1String("ipc") ? DeviceType::IPC
                                             : DeviceType(2),
        transport == QLatin1String("ip")        ? TransportType::Ip
            : transport == QLatin1String("p2p") ? TransportType::P2p
                                                : TransportType(2),
        ++handle };
}

void freshStart()
{
    // The device first: built before the library's manager, it is destroyed after it, when the
    // readers still alive at exit send their closes.
    FakeDevice::instance();
    init();
    // Closes sent for what earlier tests searched go to the device before it forgets everything.
    cancel_all_record_searching();
    FakeDevice::instance().reset();
}

QDateTime spanStart()
{
    return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9));
}

QDateTime spanEnd()
{
    return QDateTime(QDate(2024, 3, 6), QTime(23, 0, 1));
}

QString summary(const QVariantList &entries)
{
    QVector<int> items;
    for (const QVariant &entry : entries)
        items << itemOf(entry.toHash());
    QStringList parts;
    for (int i = 0, j = 0; i < items.size(); i = j) {
        const int first = items.at(i);
        for (j = i + 1; j < items.size() && items.at(j) == (first < 0 ? -1 : first + j - i);)
            ++j;
        const QString item = first < 0 ? QStringLiteral("?") : QString::number(first);
        if (j - i == 1)
            parts << item;
        else
            parts << (first < 0 ? QStringLiteral("?*%1").arg(j - i)
                                : QStringLiteral("%1-%2").arg(first).arg(items.at(j - 1)));
    }
    return parts.join(QLatin1Char(','));
}

QStringList wire(std::initializer_list<const char *> checks)
{
    const auto object = [](const QDateTime &time) {
        return QStringLiteral(R"({"day":%1,"hour":%2,"minute":%3,"month":%4,"second":%5,"year":%6})")
            .arg(time.date().day())
            .arg(time.time().hour())
            .arg(time.time().minute())
            .arg(time.date().month())
            .arg(time.time().second())
            .arg(time.date().year());
    };
    const QPair<QString, QString> forms[] = {
        { QStringLiteral("$QS"), QStringLiteral("2024-03-05%2007:08:09") },
        { QStringLiteral("$QE"), QStringLiteral("2024-03-06%2023:00:01") },
        { QStringLiteral("$PS"), QStringLiteral("2024-03-05 07:08:09") },
        { QStringLiteral("$PE"), QStringLiteral("2024-03-06 23:00:01") },
        { QStringLiteral("$CS"), QStringLiteral("20240305070809") },
        { QStringLiteral("$CE"), QStringLiteral("20240306230001") },
        { QStringLiteral("$OS"), object(spanStart()) },
        { QStringLiteral("$OE"), object(spanEnd()) },
        { QStringLiteral("$MASK"), QStringLiteral("1001") + QString(60, QLatin1Char('0')) },
    };
    QStringList result;
    for (const char *check : checks) {
        QString text = QString::fromUtf8(check);
        for (const auto &form : forms)
            text.replace(form.first, form.second);
        result << text;
    }
    return result;
}

void scenarioColumns()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<QString>("routes");
    QTest::addColumn<QString>("answers");
    QTest::addColumn<QStringList>("checks");
}

void scenarioRow(const char *name,
    const char *target,
    const char *script,
    const char *calls,
    const char *routes,
    const char *answers,
    const QStringList &checks)
{
    QTest::newRow(name) << QString::fromUtf8(target) << QString::fromUtf8(script) << QString::fromUtf8(calls)
                        << QString::fromUtf8(routes) << QString::fromUtf8(answers) << checks;
}

void verifyScenario()
{
    QFETCH(QString, target);
    QFETCH(QString, script);
    QFETCH(QString, calls);
    QFETCH(QString, routes);
    QFETCH(QString, answers);
    QFETCH(QStringList, checks);

    freshStart();
    FakeDevice &device = FakeDevice::instance();
    const TargetDesc made = newTarget(target);
    device.script(made.transport == TransportType::P2p, script);
    const auto log = std::make_shared<Log>();
    const QString failure = runCalls(made, calls, log);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(device.routes(), routes);
    QCOMPARE(log->answers.join(QLatin1Char(' ')), answers);
    for (const QString &check : checks) {
        const QString found = device.check(check);
        QVERIFY2(found.isEmpty(), qPrintable(found));
    }
    for (const SentRequest &request : device.sent()) {
        QCOMPARE(request.target, request.isHttp ? made.handle : made.handle & 0xffffffffu);
        QVERIFY(request.isHttp || request.timeout == 20);
    }
}

} // namespace lydevice::test

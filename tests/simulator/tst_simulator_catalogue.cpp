// The simulator's content: determinism from the seed, what a span holds, wall-clock times, picture
// names and the pictures themselves.

#include "Catalogue.h"
#include "WallTime.h"

#include <QTest>

using namespace lydevice::sim;

namespace
{
SimulatorOptions smallRecorder(quint64 seed)
{
    SimulatorOptions options;
    options.seed = seed;
    options.channels = 2;
    options.setRecordCount(40);
    options.tagsPerChannel = 25;
    options.setPictureCount(10);
    return options;
}

QDateTime at(int hour, int minute = 0, int second = 0)
{
    return QDateTime(QDate(2024, 3, 1), QTime(hour, minute, second));
}
} // namespace

class TestSimulatorCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void sameSeedSameContent();
    void listingHoldsWhatOverlapsTheSpan_data();
    void listingHoldsWhatOverlapsTheSpan();
    void denseSequencesStayOrdered_data();
    void denseSequencesStayOrdered();
    void wallTime_data();
    void wallTime();
    void picturesAreFoundByTheirNames();
    void picturesAreDrawnWithoutGui();
};

void TestSimulatorCatalogue::sameSeedSameContent()
{
    const Catalogue a(smallRecorder(5)), b(smallRecorder(5)), other(smallRecorder(6));
    const QDateTime from = at(0), to = at(23, 59, 59);
    QCOMPARE(a.recordInfo(1, from, to), b.recordInfo(1, from, to));
    QCOMPARE(a.tags({ 0, 1 }, from, to), b.tags({ 0, 1 }, from, to));
    QCOMPARE(a.pictures({ 0, 1 }, 2, from, to), b.pictures({ 0, 1 }, 2, from, to));
    const Picture picture = a.pictures({ 1 }, 2, from, to).at(3);
    QCOMPARE(a.jpeg(picture), b.jpeg(picture));

    QVERIFY(a.recordInfo(1, from, to) != other.recordInfo(1, from, to));
    // Channels differ from each other too.
    QVERIFY(
        a.events({ 0 }, 2, 0, from, to).first().startSeconds != a.events({ 1 }, 2, 0, from, to).first().startSeconds);
}

void TestSimulatorCatalogue::listingHoldsWhatOverlapsTheSpan_data()
{
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    const Catalogue catalogue(smallRecorder(3));
    const Recording record = catalogue.recording(0, RecordType::Motion, 17);
    QTest::newRow("whole day") << at(0) << at(23, 59, 59);
    QTest::newRow("one second inside a record") << record.start().addSecs(1) << record.start().addSecs(1);
    QTest::newRow("ending at a record's start") << record.start().addSecs(-3600) << record.start();
    QTest::newRow("starting at a record's end") << record.end() << record.end().addSecs(3600);
    QTest::newRow("between two records") << record.end().addSecs(1) << record.end().addSecs(2);
    QTest::newRow("before the content") << QDateTime(QDate(2023, 1, 1), QTime(0, 0)) << at(0);
    QTest::newRow("reversed span") << at(12) << at(11);
}

void TestSimulatorCatalogue::listingHoldsWhatOverlapsTheSpan()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    const Catalogue catalogue(smallRecorder(3));
    const qint64 start = walltime::fromDateTime(from), end = walltime::fromDateTime(to);

    // Brute force over every sequence, in the order the device serves.
    QVector<Recording> overlapping;
    for (int t = 0; t < kRecordTypeCount; ++t) {
        for (int i = 0; i < catalogue.recordingCount(RecordType(t)); ++i) {
            const Recording record = catalogue.recording(1, RecordType(t), i);
            if (record.startSeconds <= end && record.endSeconds >= start)
                overlapping.append(record);
        }
    }
    QCOMPARE(catalogue.recordInfo(1, from, to), overlapping);

    QVector<Tag> tags;
    for (int channel = 0; channel < 2; ++channel) {
        for (int i = 0; i < catalogue.tagCount(); ++i) {
            const Tag tag = catalogue.tag(channel, i);
            if (tag.timeSeconds >= start && tag.timeSeconds <= end)
                tags.append(tag);
        }
    }
    QCOMPARE(catalogue.tags({ 0, 1 }, from, to), tags);
}

void TestSimulatorCatalogue::denseSequencesStayOrdered_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("spanSeconds");
    QTest::newRow("slots of a few seconds") << 30000 << qint64(86400);
    QTest::newRow("more records than seconds") << 200000 << qint64(86400);
    QTest::newRow("one-second span") << 50 << qint64(1);
}

void TestSimulatorCatalogue::denseSequencesStayOrdered()
{
    QFETCH(int, count);
    QFETCH(qint64, spanSeconds);
    SimulatorOptions options;
    options.channels = 1;
    options.spanSeconds = spanSeconds;
    options.setRecordCount(0);
    options.recordsPerType[int(RecordType::Smart)] = count;
    const Catalogue catalogue(options);
    Recording previous = catalogue.recording(0, RecordType::Smart, 0);
    for (int i = 1; i < count; ++i) {
        const Recording record = catalogue.recording(0, RecordType::Smart, i);
        QVERIFY(record.startSeconds >= previous.startSeconds);
        QVERIFY(record.endSeconds >= previous.endSeconds);
        QVERIFY(record.endSeconds > record.startSeconds);
        previous = record;
    }
    QVERIFY(previous.endSeconds <= catalogue.spanEndSeconds() + 1);
    // Binary search agrees with the brute force at a span in the middle.
    const qint64 middle = catalogue.spanStartSeconds() + spanSeconds / 2;
    int expected = 0;
    for (int i = 0; i < count; ++i) {
        const Recording record = catalogue.recording(0, RecordType::Smart, i);
        expected += record.startSeconds <= middle && record.endSeconds >= middle ? 1 : 0;
    }
    QCOMPARE(catalogue.eventListing(1, 64, 511, middle, middle).size(), expected);
}

void TestSimulatorCatalogue::wallTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("dashed");
    QTest::newRow("%20 as written in queries")
        << QStringLiteral("2024-03-05%2007:08:09") << true << QStringLiteral("2024-03-05 07:08:09");
    QTest::newRow("compact") << QStringLiteral("20240305070809") << true << QStringLiteral("2024-03-05 07:08:09");
    QTest::newRow("leap day") << QStringLiteral("2024-02-29 23:59:59") << true << QStringLiteral("2024-02-29 23:59:59");
    QTest::newRow("no leap day") << QStringLiteral("2023-02-29 00:00:00") << false << QString();
    QTest::newRow("hour 24") << QStringLiteral("2024-03-05 24:00:00") << false << QString();
    QTest::newRow("letters") << QStringLiteral("2024-03-0a 07:08:09") << false << QString();
    QTest::newRow("short") << QStringLiteral("2024-03-05") << false << QString();
}

void TestSimulatorCatalogue::wallTime()
{
    QFETCH(QString, text);
    QFETCH(bool, readable);
    QFETCH(QString, dashed);
    qint64 seconds = 0;
    QCOMPARE(walltime::parse(text, &seconds), readable);
    if (!readable)
        return;
    QCOMPARE(walltime::dashed(seconds), dashed);
    const QDateTime local = QDateTime::fromString(dashed, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QCOMPARE(walltime::toDateTime(seconds), local);
    QCOMPARE(walltime::fromDateTime(local), seconds);
}

void TestSimulatorCatalogue::picturesAreFoundByTheirNames()
{
    for (DeviceKind kind : { DeviceKind::Recorder, DeviceKind::Camera }) {
        SimulatorOptions options = smallRecorder(9);
        options.kind = kind;
        const Catalogue catalogue(options);
        const QVector<Picture> pictures = catalogue.pictures({ 0, 1 }, 2, at(0), at(23, 59, 59));
        QCOMPARE(pictures.size(), kind == DeviceKind::Recorder ? 2 * 4 * 10 : 4 * 10);
        for (const Picture &picture : pictures) {
            Picture found;
            QVERIFY(catalogue.findPicture(picture.name, picture.channel, &found));
            QCOMPARE(found, picture);
        }
        Picture found;
        const QString name = pictures.first().name;
        QVERIFY(!catalogue.findPicture(QString(name).replace(name.size() - 5, 1, QLatin1Char('9')), 0, &found));
        QVERIFY(!catalogue.findPicture(QStringLiteral("../etc/passwd"), 0, &found));
        QVERIFY(!catalogue.findPicture(QString(), 0, &found));
    }
}

void TestSimulatorCatalogue::picturesAreDrawnWithoutGui()
{
    SimulatorOptions options = smallRecorder(2);
    options.pictureSize = QSize(200, 120);
    const Catalogue catalogue(options);
    const QVector<Picture> pictures = catalogue.pictures({ 0 }, 2, at(0), at(23, 59, 59));
    const QImage image = QImage::fromData(catalogue.jpeg(pictures.at(0)), "JPG");
    QCOMPARE(image.size(), QSize(200, 120));
    // The caption band is black with white strokes.
    int bright = 0, dark = 0;
    for (int x = 0; x < image.width(); ++x) {
        const int gray = qGray(image.pixel(x, 10));
        bright += gray > 200 ? 1 : 0;
        dark += gray < 50 ? 1 : 0;
    }
    QVERIFY(bright > 5);
    QVERIFY(dark > image.width() / 2);
    QVERIFY(catalogue.image(pictures.at(0)) != catalogue.image(pictures.at(1)));
}

QTEST_GUILESS_MAIN(TestSimulatorCatalogue)
#include "tst_simulator_catalogue.moc"

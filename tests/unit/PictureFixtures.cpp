#include "PictureFixtures.h"

#include <manager/RecordManagerPrivate.h>

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>

namespace lydevice::test
{

TargetDesc newTarget(bool recorder)
{
    static quint64 handle = 0x5000;
    return { recorder ? DeviceType::NVR : DeviceType::IPC, TransportType::Ip, ++handle };
}

QDateTime spanStart()
{
    return QDateTime(QDate(2024, 3, 1), QTime(8, 0, 0));
}

QDateTime spanEnd()
{
    return QDateTime(QDate(2024, 3, 1), QTime(18, 30, 5));
}

QString pictureName(bool recorder, int index)
{
    return recorder ? QString::number(1709280000000LL + index)
                    : QStringLiteral("IMG_%1.jpg").arg(index, 5, 10, QLatin1Char('0'));
}

QDateTime pictureTime(int index)
{
    return spanStart().addSecs(index * 7);
}

int pictureChannel(int index)
{
    return index % 5 + 1;
}

static QString deviceTime(int index)
{
    return pictureTime(index).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QByteArray recorderPage(int sid, int total, int first, int count)
{
    QList<QPair<QString, QVariant>> pairs {
        { QStringLiteral("cnt"), count }, { QStringLiteral("sid"), sid }, { QStringLiteral("allCnt"), total }
    };
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i);
        pairs.append({ QStringLiteral("pts") + n, pictureName(true, first + i) });
        pairs.append({ QStringLiteral("pTime") + n, deviceTime(first + i) });
        pairs.append({ QStringLiteral("chnid") + n, pictureChannel(first + i) });
    }
    return kv(pairs);
}

QJsonArray cameraRow(int index, const QString &session)
{
    return QJsonArray { pictureName(false, index), deviceTime(index), 1, 0, 20480, session, QStringLiteral("jpg") };
}

QByteArray cameraList(int total, const QJsonArray &rows)
{
    const QJsonObject list { { QStringLiteral("iTotalRecords"), total },
        { QStringLiteral("iTotalDisplayRecords"), total },
        { QStringLiteral("aaData"), rows } };
    // The camera writes "sEcho" first, without a value.
    return QByteArrayLiteral("{\"sEcho\": ,") + QJsonDocument(list).toJson(QJsonDocument::Compact).mid(1);
}

QByteArray cameraList(int total, int first, int count, const QString &session)
{
    QJsonArray rows;
    for (int i = 0; i < count; ++i)
        rows.append(cameraRow(first + i, session));
    return cameraList(total, rows);
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

QStringList routesFrom(int from)
{
    return FakeDevice::instance().routes().mid(from);
}

QStringList queryPairs(const HttpRequest &request)
{
    QStringList pairs;
    for (const auto &pair : request.query)
        pairs << pair.first + QLatin1Char('=') + pair.second;
    return pairs;
}

AnswersPtr searchPicture(
    RecordManager &manager, const TargetDesc &target, RecordPictureType type, const QVector<int> &channels)
{
    auto answers = std::make_shared<Answers>();
    manager.searchPicture(target, channels, type, spanStart(), spanEnd(), [answers](int sum) {
        ++answers->calls;
        answers->sum = sum;
    });
    return answers;
}

AnswersPtr readPicturePage(RecordManager &manager, const TargetDesc &target, int page)
{
    auto answers = std::make_shared<Answers>();
    manager.readPicturePage(target, page, [answers](const QVariantList &entries) {
        ++answers->calls;
        answers->page = entries;
    });
    return answers;
}

AnswersPtr readPicture(RecordManager &manager, const TargetDesc &target, int index)
{
    auto answers = std::make_shared<Answers>();
    manager.readPicture(target, index, [answers](quint64 size, const QImage &image) {
        ++answers->calls;
        answers->size = size;
        answers->image = image;
    });
    return answers;
}

bool openSearch(RecordManager &manager, const TargetDesc &target)
{
    auto &device = FakeDevice::instance();
    const bool recorder = target.deviceType == DeviceType::NVR;
    device.http(recorder ? searchOpen : listRoute,
        HttpAnswer::body(recorder ? recorderPage(77, 250, 0, 100) : cameraList(45, 0, 30)));
    const AnswersPtr answers = searchPicture(manager, target);
    return device.waitIdle() && answers->calls == 1 && answers->sum == (recorder ? 250 : 45);
}

const TargetContext &contextOf(RecordManager &manager, const TargetDesc &target)
{
    return manager.d_func()->context(target);
}

} // namespace lydevice::test

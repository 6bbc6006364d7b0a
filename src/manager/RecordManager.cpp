#include "manager/RecordManager.h"

#include "manager/RecordFactory.h"
#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "manager/TargetContext.h"
#include "operation/RecordOperation.h"
#include "parse/HashAccess.h"
#include "reader/RecordReader.h"

#include <QCoreApplication>
#include <QDebug>
#include <QImage>

namespace lydevice
{

namespace
{

    void registerMetaTypes()
    {
        qRegisterMetaType<std::function<void(QVariantList)>>("std::function<void(QVariantList)>");
        qRegisterMetaType<TargetDesc>("lydevice::TargetDesc");
        qRegisterMetaType<QVector<int>>("QVector<int>");
        qRegisterMetaType<RecordPictureType>("lydevice::RecordPictureType");
        qRegisterMetaType<std::function<void(int)>>("std::function<void(int)>");
        qRegisterMetaType<SearchVideoCallback>("lydevice::SearchVideoCallback");
        qRegisterMetaType<StreamType>("lydevice::StreamType");
        qRegisterMetaType<RecordVideoType>("lydevice::RecordVideoType");
        qRegisterMetaType<RecordVideoDesc>("lydevice::RecordVideoDesc");
        qRegisterMetaType<SearchVideoCallbackV2>("lydevice::SearchVideoCallbackV2");
        qRegisterMetaType<CameraSession>();
        qRegisterMetaType<RecorderSession>();
    }

    TargetContext searchContext(
        const QDateTime &start, const QDateTime &end, int streamType, const QVariant &type, const QVector<int> &channel)
    {
        TargetContext context;
        context.start = start;
        context.end = end;
        context.streamType = streamType;
        context.type = type;
        context.channel = channel;
        return context;
    }

} // namespace

Q_GLOBAL_STATIC(RecordManager, globalRecordManager)

RecordManager *recordManager()
{
    return globalRecordManager.isDestroyed() ? nullptr : globalRecordManager();
}

RecordManager::RecordManager()
    : QObject(nullptr)
    , d(std::make_unique<RecordManagerPrivate>())
{
    registerMetaTypes();
    // Everything runs in the application's thread, whichever thread touched the library first.
    const QCoreApplication *app = QCoreApplication::instance();
    if (app && thread() != app->thread())
        moveToThread(app->thread());
}

RecordManager::~RecordManager() = default;

void RecordManager::searchPicture(const TargetDesc &target,
    const QVector<int> &channel,
    RecordPictureType pictureType,
    const QDateTime &start,
    const QDateTime &end,
    const std::function<void(int)> &callback)
{
    d->beginSearch(target, searchContext(start, end, 0, QVariant::fromValue(pictureType), channel));
    auto operation = makeSearchOperation(d.get(), target, RecordKind::Picture);
    if (!operation) {
        callback(-1);
        return;
    }
    const QVariantHash params { { QStringLiteral("startTime"), start },
        { QStringLiteral("endTime"), end },
        { QStringLiteral("type"), QVariant::fromValue(pictureType) },
        { QStringLiteral("channel"), QVariant::fromValue(channel) } };
    d->startOperation(params, std::move(operation), [callback](bool ok, const QVariantHash &result) {
        callback(ok ? hashInt(result, QStringLiteral("sum")) : -1);
    });
}

void RecordManager::readPicture(const TargetDesc &target, int idx, const ReadPictureCallback &callback)
{
    const TargetContext *context = d->storedContext(target);
    if (!context || !context->session.isValid()) {
        qWarning().noquote() << "we need session to search picture";
        callback(0, QImage());
        return;
    }
    auto operation = makeReadPictureOperation(d.get(), target, RecordKind::Picture);
    if (!operation) {
        callback(0, QImage());
        return;
    }
    d->startOperation(
        { { QStringLiteral("index"), idx } }, std::move(operation), [callback](bool ok, const QVariantHash &result) {
            if (!ok) {
                callback(0, QImage());
                return;
            }
            // A negative size is widened with its sign, as the devices' counts are signed.
            const quint64 size = static_cast<quint64>(static_cast<qint64>(hashInt(result, QStringLiteral("size"))));
            callback(size, hashImage(result, QStringLiteral("data")));
        });
}

void RecordManager::readPicturePage(
    const TargetDesc &target, int idx, const std::function<void(QVariantList)> &callback)
{
    const TargetContext *context = d->storedContext(target);
    if (!context || !context->session.isValid()) {
        qWarning().noquote() << "we need session to read picture page";
        callback({});
        return;
    }
    if (idx == context->currentPage) {
        qInfo().noquote() << "we already have current page";
        callback(context->pictureList);
        return;
    }
    if (idx < 0 || idx >= context->pictureTotal) {
        qWarning() << "page is not existing. page: " << idx;
        callback({});
        return;
    }
    auto operation = makeReadPicturePageOperation(d.get(), target, RecordKind::Picture);
    if (!operation) {
        callback({});
        return;
    }
    d->startOperation(
        { { QStringLiteral("page"), idx } }, std::move(operation), [callback](bool ok, const QVariantHash &result) {
            callback(ok ? hashList(result, QStringLiteral("data")) : QVariantList());
        });
}

void RecordManager::searchVideo(const TargetDesc &target,
    const QVector<int> &channel,
    RecordVideoType videoType,
    StreamType streamType,
    const QDateTime &start,
    const QDateTime &end,
    const SearchVideoCallback &callback)
{
    d->beginSearch(target, searchContext(start, end, int(streamType), QVariant::fromValue(videoType), channel));
    auto operation = makeSearchOperation(d.get(), target, RecordKind::Video);
    if (!operation) {
        callback(-1, {});
        return;
    }
    const QVariantHash params { { QStringLiteral("startTime"), start },
        { QStringLiteral("endTime"), end },
        { QStringLiteral("stream"), QVariant::fromValue(streamType) },
        { QStringLiteral("type"), QVariant::fromValue(videoType) },
        { QStringLiteral("channel"), QVariant::fromValue(channel) } };
    d->startOperation(params, std::move(operation), [callback](bool ok, const QVariantHash &result) {
        if (!ok) {
            callback(-1, {});
            return;
        }
        const QVariant sid = result.value(QStringLiteral("sid"));
        callback(sid.userType() == QMetaType::Int ? sid.toInt() : 0, hashList(result, QStringLiteral("data")));
    });
}

quint64 RecordManager::searchVideoBegin(
    const TargetDesc &target, const RecordVideoDesc &desc, const SearchVideoCallbackV2 &callback)
{
    std::unique_ptr<RecordReader> reader = makeReader(target);
    if (!reader) {
        callback(-1, RecordVideoType::All, {});
        return 0;
    }
    RecordReader *const started = reader.get();
    const quint64 id = d->addReader(std::move(reader));
    started->startReading(desc, callback);
    return id;
}

void RecordManager::searchVideoEnd(quint64 id)
{
    if (!d->removeReader(id))
        qWarning() << "cannot find record reader[" << id << "]";
}

void RecordManager::cancelAllRecordSearching()
{
    d->cancelAll();
}

} // namespace lydevice

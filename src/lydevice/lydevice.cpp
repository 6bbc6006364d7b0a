#include <lydevice/lydevice.h>

#include "manager/RecordManager.h"

#include <QCoreApplication>
#include <QThread>

namespace lydevice
{

namespace
{

    // The direct-or-blocking exports run the manager's method directly in the main thread and wait
    // for it from any other thread. Without an application object there is no other thread to hand
    // over to.
    bool inMainThread()
    {
        const QCoreApplication *app = QCoreApplication::instance();
        return !app || app->thread() == QThread::currentThread();
    }

    // An empty callback cannot be called; the library answers every call, so it answers into a no-op.
    template <typename Callback> Callback orNoop(Callback callback)
    {
        if (!callback)
            callback = [](auto &&...) {};
        return callback;
    }

} // namespace

void init()
{
    recordManager();
}

void cleanup()
{
}

void cancel_all_record_searching()
{
    if (RecordManager *manager = recordManager())
        QMetaObject::invokeMethod(manager, "cancelAllRecordSearching", Qt::AutoConnection);
}

void search_video(TargetDesc target,
    QVector<int> channel,
    RecordVideoType videoType,
    StreamType streamType,
    QDateTime start,
    QDateTime end,
    SearchVideoCallback callback)
{
    if (RecordManager *manager = recordManager())
        QMetaObject::invokeMethod(manager,
            "searchVideo",
            Qt::AutoConnection,
            Q_ARG(lydevice::TargetDesc, target),
            Q_ARG(QVector<int>, channel),
            Q_ARG(lydevice::RecordVideoType, videoType),
            Q_ARG(lydevice::StreamType, streamType),
            Q_ARG(QDateTime, start),
            Q_ARG(QDateTime, end),
            Q_ARG(lydevice::SearchVideoCallback, orNoop(std::move(callback))));
}

quint64 search_video_begin(TargetDesc target, RecordVideoDesc desc, SearchVideoCallbackV2 callback)
{
    RecordManager *manager = recordManager();
    if (!manager)
        return 0;
    callback = orNoop(std::move(callback));
    if (inMainThread())
        return manager->searchVideoBegin(target, std::move(desc), std::move(callback));
    quint64 id = 0;
    if (!QMetaObject::invokeMethod(manager,
            "searchVideoBegin",
            Qt::BlockingQueuedConnection,
            Q_RETURN_ARG(quint64, id),
            Q_ARG(lydevice::TargetDesc, target),
            Q_ARG(lydevice::RecordVideoDesc, desc),
            Q_ARG(lydevice::SearchVideoCallbackV2, callback)))
        return 0;
    return id;
}

void search_video_end(quint64 id)
{
    if (RecordManager *manager = recordManager())
        QMetaObject::invokeMethod(manager, "searchVideoEnd", Qt::AutoConnection, Q_ARG(quint64, id));
}

void search_picture(TargetDesc target,
    QVector<int> channel,
    RecordPictureType pictureType,
    QDateTime start,
    QDateTime end,
    std::function<void(int)> callback)
{
    if (RecordManager *manager = recordManager())
        QMetaObject::invokeMethod(manager,
            "searchPicture",
            Qt::AutoConnection,
            Q_ARG(lydevice::TargetDesc, target),
            Q_ARG(QVector<int>, channel),
            Q_ARG(lydevice::RecordPictureType, pictureType),
            Q_ARG(QDateTime, start),
            Q_ARG(QDateTime, end),
            Q_ARG(std::function<void(int)>, orNoop(std::move(callback))));
}

void read_picture_page(TargetDesc target, int idx, std::function<void(QList<QVariant>)> callback)
{
    if (RecordManager *manager = recordManager())
        QMetaObject::invokeMethod(manager,
            "readPicturePage",
            Qt::AutoConnection,
            Q_ARG(lydevice::TargetDesc, target),
            Q_ARG(int, idx),
            Q_ARG(std::function<void(QVariantList)>, orNoop(std::move(callback))));
}

void read_picture(TargetDesc target, int idx, ReadPictureCallback callback)
{
    RecordManager *manager = recordManager();
    if (!manager)
        return;
    callback = orNoop(std::move(callback));
    if (inMainThread()) {
        manager->readPicture(target, idx, std::move(callback));
        return;
    }
    QMetaObject::invokeMethod(manager,
        "readPicture",
        Qt::BlockingQueuedConnection,
        Q_ARG(lydevice::TargetDesc, target),
        Q_ARG(int, idx),
        Q_ARG(lydevice::ReadPictureCallback, callback));
}

} // namespace lydevice

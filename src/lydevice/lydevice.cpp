#include <lydevice/lydevice.h>

#include "manager/RecordManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

namespace lydevice
{

namespace
{

    // The direct-or-blocking exports run the manager's method directly in the main thread and wait
    // for it from any other thread.
    bool inMainThread()
    {
        return QCoreApplication::instance()->thread() == QThread::currentThread();
    }

    // Where a call goes. Without an application object there is no main thread to run the work in:
    // the call is answered at once in its failure form (`failed`). Once the library is being unloaded
    // there is no manager any more, and nothing is answered.
    struct Route {
        RecordManager *manager = nullptr;
        bool failed = false;
    };

    Route route(const char *call)
    {
        if (!QCoreApplication::instance()) {
            qWarning() << call << "called without an application object; it fails";
            return { nullptr, true };
        }
        return { recordManager(), false };
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
    route("init");
}

void cleanup()
{
}

void cancel_all_record_searching()
{
    if (RecordManager *manager = route("cancel_all_record_searching").manager)
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
    callback = orNoop(std::move(callback));
    const Route to = route("search_video");
    if (to.failed)
        callback(-1, {});
    if (to.manager)
        QMetaObject::invokeMethod(to.manager,
            "searchVideo",
            Qt::AutoConnection,
            Q_ARG(lydevice::TargetDesc, target),
            Q_ARG(QVector<int>, channel),
            Q_ARG(lydevice::RecordVideoType, videoType),
            Q_ARG(lydevice::StreamType, streamType),
            Q_ARG(QDateTime, start),
            Q_ARG(QDateTime, end),
            Q_ARG(lydevice::SearchVideoCallback, callback));
}

quint64 search_video_begin(TargetDesc target, RecordVideoDesc desc, SearchVideoCallbackV2 callback)
{
    callback = orNoop(std::move(callback));
    const Route to = route("search_video_begin");
    if (to.failed)
        callback(-1, RecordVideoType::All, {});
    if (!to.manager)
        return 0;
    if (inMainThread())
        return to.manager->searchVideoBegin(target, desc, callback);
    quint64 id = 0;
    if (!QMetaObject::invokeMethod(to.manager,
            "searchVideoBegin",
            Qt::BlockingQueuedConnection,
            Q_RETURN_ARG(quint64, id),
            Q_ARG(lydevice::TargetDesc, target),
            Q_ARG(lydevice::RecordVideoDesc, desc),
            Q_ARG(lydevice::SearchVideoCallbackV2, callback))) {
        qWarning() << "search_video_begin could not reach the main thread; it fails";
        callback(-1, RecordVideoType::All, {});
    }
    return id;
}

void search_video_end(quint64 id)
{
    if (RecordManager *manager = route("search_video_end").manager)
        QMetaObject::invokeMethod(manager, "searchVideoEnd", Qt::AutoConnection, Q_ARG(quint64, id));
}

void search_picture(TargetDesc target,
    QVector<int> channel,
    RecordPictureType pictureType,
    QDateTime start,
    QDateTime end,
    std::function<void(int)> callback)
{
    callback = orNoop(std::move(callback));
    const Route to = route("search_picture");
    if (to.failed)
        callback(-1);
    if (to.manager)
        QMetaObject::invokeMethod(to.manager,
            "searchPicture",
            Qt::AutoConnection,
            Q_ARG(lydevice::TargetDesc, target),
            Q_ARG(QVector<int>, channel),
            Q_ARG(lydevice::RecordPictureType, pictureType),
            Q_ARG(QDateTime, start),
            Q_ARG(QDateTime, end),
            Q_ARG(std::function<void(int)>, callback));
}

void read_picture_page(TargetDesc target, int idx, std::function<void(QList<QVariant>)> callback)
{
    callback = orNoop(std::move(callback));
    const Route to = route("read_picture_page");
    if (to.failed)
        callback({});
    if (to.manager)
        QMetaObject::invokeMethod(to.manager,
            "readPicturePage",
            Qt::AutoConnection,
            Q_ARG(lydevice::TargetDesc, target),
            Q_ARG(int, idx),
            Q_ARG(std::function<void(QVariantList)>, callback));
}

void read_picture(TargetDesc target, int idx, ReadPictureCallback callback)
{
    callback = orNoop(std::move(callback));
    const Route to = route("read_picture");
    if (to.failed)
        callback(0, QImage());
    if (!to.manager)
        return;
    if (inMainThread()) {
        to.manager->readPicture(target, idx, callback);
        return;
    }
    if (!QMetaObject::invokeMethod(to.manager,
            "readPicture",
            Qt::BlockingQueuedConnection,
            Q_ARG(lydevice::TargetDesc, target),
            Q_ARG(int, idx),
            Q_ARG(lydevice::ReadPictureCallback, callback))) {
        qWarning() << "read_picture could not reach the main thread; it fails";
        callback(0, QImage());
    }
}

} // namespace lydevice

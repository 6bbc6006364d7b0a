#pragma once

#include <lydevice/lydevice.h>

#include <QObject>

#include <memory>

namespace lydevice
{

class RecordManagerPrivate;

// The one object behind the exported functions. It lives in the main thread and runs every
// request there: it answers at once what cannot go on, creates the operation or reader that does
// the device work, owns it while it works and turns its result into the caller's callback.
//
// The methods are invokable through the meta-object system so that the exports can queue them
// to the main thread; their parameter types are spelled as the exports name them there.
class RecordManager : public QObject
{
    Q_OBJECT
public:
    RecordManager();
    ~RecordManager() override;

    Q_INVOKABLE void searchPicture(lydevice::TargetDesc target,
        QVector<int> channel,
        lydevice::RecordPictureType pictureType,
        QDateTime start,
        QDateTime end,
        std::function<void(int)> callback);
    Q_INVOKABLE void readPicture(lydevice::TargetDesc target, int idx, lydevice::ReadPictureCallback callback);
    Q_INVOKABLE void readPicturePage(lydevice::TargetDesc target, int idx, std::function<void(QVariantList)> callback);
    Q_INVOKABLE void searchVideo(lydevice::TargetDesc target,
        QVector<int> channel,
        lydevice::RecordVideoType videoType,
        lydevice::StreamType streamType,
        QDateTime start,
        QDateTime end,
        lydevice::SearchVideoCallback callback);
    Q_INVOKABLE quint64 searchVideoBegin(
        lydevice::TargetDesc target, lydevice::RecordVideoDesc desc, lydevice::SearchVideoCallbackV2 callback);
    Q_INVOKABLE void searchVideoEnd(quint64);
    Q_INVOKABLE void cancelAllRecordSearching();

    RecordManagerPrivate *d_func() const;

private:
    const std::unique_ptr<RecordManagerPrivate> d;
};

// The process-wide manager, built on first use; none once it has been destroyed.
RecordManager *recordManager();

} // namespace lydevice

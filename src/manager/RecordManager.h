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

    Q_INVOKABLE void searchPicture(const lydevice::TargetDesc &target,
        const QVector<int> &channel,
        lydevice::RecordPictureType pictureType,
        const QDateTime &start,
        const QDateTime &end,
        const std::function<void(int)> &callback);
    Q_INVOKABLE void readPicture(
        const lydevice::TargetDesc &target, int idx, const lydevice::ReadPictureCallback &callback);
    Q_INVOKABLE void readPicturePage(
        const lydevice::TargetDesc &target, int idx, const std::function<void(QVariantList)> &callback);
    Q_INVOKABLE void searchVideo(const lydevice::TargetDesc &target,
        const QVector<int> &channel,
        lydevice::RecordVideoType videoType,
        lydevice::StreamType streamType,
        const QDateTime &start,
        const QDateTime &end,
        const lydevice::SearchVideoCallback &callback);
    Q_INVOKABLE quint64 searchVideoBegin(const lydevice::TargetDesc &target,
        const lydevice::RecordVideoDesc &desc,
        const lydevice::SearchVideoCallbackV2 &callback);
    Q_INVOKABLE void searchVideoEnd(quint64);
    Q_INVOKABLE void cancelAllRecordSearching();

private:
    const std::unique_ptr<RecordManagerPrivate> d;
};

// The process-wide manager, built on first use and living in the application's thread; none once
// it has been destroyed.
RecordManager *recordManager();

} // namespace lydevice

#pragma once

// Device replies and pictures for the picture tests: recorder and camera picture lists made the
// way the devices write them, real encoded pictures, and the manager calls with their answers
// collected.

#include <FakeDevice.h>
#include <lydevice/lydevice.h>
#include <manager/RecordManager.h>
#include <manager/TargetContext.h>

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <memory>

Q_DECLARE_METATYPE(lydevice::test::HttpAnswer)

namespace lydevice::test
{

const QString searchOpen = QStringLiteral("get.playback.picture_backup_search_open");
const QString searchPage = QStringLiteral("get.playback.picture_backup_search_page");
const QString searchIndex = QStringLiteral("get.playback.picture_backup_search_index");
const QString listRoute = QStringLiteral("sdexplorer");

// A fresh device for every test, so that no context is shared between tests.
TargetDesc newTarget(bool recorder);

// The span every test searches.
QDateTime spanStart();
QDateTime spanEnd();

// Picture i of a search: its name (a recorder's pts, a camera's file name), time and channel.
QString pictureName(bool recorder, int index);
QDateTime pictureTime(int index);
int pictureChannel(int index);

// A recorder search or page reply listing pictures first .. first + count - 1.
QByteArray recorderPage(int sid, int total, int first, int count);

// A camera picture list as the camera writes it, beginning with the valueless "sEcho".
QByteArray cameraList(int total, const QJsonArray &rows);
QByteArray cameraList(int total, int first, int count, const QString &session = QStringLiteral("3&5f2c9e1a-uuid"));
QJsonArray cameraRow(int index, const QString &session = QStringLiteral("3&5f2c9e1a-uuid"));

// A picture drawn in the test, and its encoding ("JPEG", "PNG").
QImage samplePicture();
QByteArray encodedPicture(const char *format);

// The routes of the requests sent from `from` on.
QStringList routesFrom(int from);
// A request's query as "key=value" strings, in sending order.
QStringList queryPairs(const HttpRequest &request);

// What a caller's callback received; shared so that a late call never writes to a dead frame.
struct Answers {
    int calls = 0;
    int sum = 0;
    QVariantList page;
    quint64 size = 0;
    QImage image;
};
using AnswersPtr = std::shared_ptr<Answers>;

AnswersPtr searchPicture(RecordManager &manager,
    const TargetDesc &target,
    RecordPictureType type = RecordPictureType::Snapshot,
    const QVector<int> &channels = {});
AnswersPtr readPicturePage(RecordManager &manager, const TargetDesc &target, int page);
AnswersPtr readPicture(RecordManager &manager, const TargetDesc &target, int index);

// Searches with the usual first page (recorder: 250 pictures, sid 77, page of 100; camera: 45
// pictures, page of 30) and waits for the answer.
bool openSearch(RecordManager &manager, const TargetDesc &target);

const TargetContext &contextOf(RecordManager &manager, const TargetDesc &target);

} // namespace lydevice::test

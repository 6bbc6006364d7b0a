#pragma once

// The exports called the way a host calls them, each answer kept for the test to wait on. The
// answers live in shared objects held by the callbacks too, so a callback that comes after its
// test has ended writes into an object nobody reads instead of into freed memory.

#include <lydevice/lydevice.h>

#include <QImage>
#include <QVariantList>
#include <QVector>

#include <memory>

namespace lydevice::e2e
{

struct VideoAnswer {
    int calls = 0;
    int code = 0;
    QVariantList records;
};

struct Delivery {
    int code = 0;
    RecordVideoType type = RecordVideoType::All;
    QVariantList records;
};

struct Reading {
    quint64 id = 0;
    QVector<Delivery> deliveries;

    // The last delivery ends the reading: a failure (code -1) or the end (type 2, no records).
    bool finished() const;
    int failures() const;
};

struct CountAnswer {
    int calls = 0;
    int count = 0;
};

struct PageAnswer {
    int calls = 0;
    QVariantList entries;
};

struct PictureAnswer {
    int calls = 0;
    quint64 size = 0;
    QImage image;
};

std::shared_ptr<VideoAnswer> searchVideo(const TargetDesc &target,
    const QVector<int> &channels,
    RecordVideoType videoType,
    const QDateTime &start,
    const QDateTime &end);
std::shared_ptr<Reading> beginReading(const TargetDesc &target,
    const QVector<int> &channels,
    RecordVideoType videoType,
    const QDateTime &start,
    const QDateTime &end);
std::shared_ptr<CountAnswer> searchPicture(const TargetDesc &target,
    const QVector<int> &channels,
    RecordPictureType pictureType,
    const QDateTime &start,
    const QDateTime &end);
std::shared_ptr<PageAnswer> readPicturePage(const TargetDesc &target, int page);
std::shared_ptr<PictureAnswer> readPicture(const TargetDesc &target, int index);

} // namespace lydevice::e2e

#include "ExportCalls.h"

#include <algorithm>

namespace lydevice::e2e
{

bool Reading::finished() const
{
    if (deliveries.isEmpty())
        return false;
    const Delivery &last = deliveries.last();
    return last.code == -1 || (last.type == RecordVideoType::Alarm && last.records.isEmpty());
}

int Reading::failures() const
{
    return int(std::count_if(
        deliveries.cbegin(), deliveries.cend(), [](const Delivery &delivery) { return delivery.code == -1; }));
}

std::shared_ptr<VideoAnswer> searchVideo(const TargetDesc &target,
    const QVector<int> &channels,
    RecordVideoType videoType,
    const QDateTime &start,
    const QDateTime &end)
{
    auto answer = std::make_shared<VideoAnswer>();
    search_video(
        target, channels, videoType, StreamType::Main, start, end, [answer](int code, QList<QVariant> records) {
            ++answer->calls;
            answer->code = code;
            answer->records = records;
        });
    return answer;
}

std::shared_ptr<Reading> beginReading(const TargetDesc &target,
    const QVector<int> &channels,
    RecordVideoType videoType,
    const QDateTime &start,
    const QDateTime &end)
{
    auto reading = std::make_shared<Reading>();
    RecordVideoDesc desc;
    desc.channel = channels;
    desc.videoType = videoType;
    desc.start = start;
    desc.end = end;
    reading->id = search_video_begin(target, desc, [reading](int code, RecordVideoType type, QList<QVariant> records) {
        reading->deliveries.append(Delivery { code, type, records });
    });
    return reading;
}

std::shared_ptr<CountAnswer> searchPicture(const TargetDesc &target,
    const QVector<int> &channels,
    RecordPictureType pictureType,
    const QDateTime &start,
    const QDateTime &end)
{
    auto answer = std::make_shared<CountAnswer>();
    search_picture(target, channels, pictureType, start, end, [answer](int count) {
        ++answer->calls;
        answer->count = count;
    });
    return answer;
}

std::shared_ptr<PageAnswer> readPicturePage(const TargetDesc &target, int page)
{
    auto answer = std::make_shared<PageAnswer>();
    read_picture_page(target, page, [answer](QList<QVariant> entries) {
        ++answer->calls;
        answer->entries = entries;
    });
    return answer;
}

std::shared_ptr<PictureAnswer> readPicture(const TargetDesc &target, int index)
{
    auto answer = std::make_shared<PictureAnswer>();
    read_picture(target, index, [answer](quint64 size, const QImage &image) {
        ++answer->calls;
        answer->size = size;
        answer->image = image;
    });
    return answer;
}

} // namespace lydevice::e2e

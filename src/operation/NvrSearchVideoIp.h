#pragma once

#include "operation/NvrVideoSearch.h"
#include "protocol/NvrProtocolIp.h"

namespace lydevice
{

// search_video on a recorder over HTTP. The record-info phase walks every record-info page until
// the counts add up; a span without records fails, and so does an event search that finds none.
class NvrSearchVideoIp final : public NvrVideoSearch
{
public:
    using NvrVideoSearch::NvrVideoSearch;
    ~NvrSearchVideoIp() override;

private:
    void requestRecordInfo(const RecordVideoDesc &search) override;
    void requestEventSearch(const RecordVideoDesc &search, EventCodes codes) override;
    void requestEventPage(int page) override;
    void sendEventClose(int handle, bool afterPage) override;

    void onRecordInfoReply(bool ok, const QVector<QByteArray> &replies);
    void onRecordInfoPageReply(int page, bool ok, const QVector<QByteArray> &replies);
    void onEventSearchReply(bool ok, const QVector<QByteArray> &replies);
    void onEventPageReply(int page, bool ok, const QVector<QByteArray> &replies);
    // Pages of the record info until none remain, then the event search.
    void nextRecordInfoPage(int count, int page);

    NvrProtocolIp device() const;

    // 64 bits: the device's counts are subtracted page by page and must not overflow.
    qint64 remainingCount = 0;
};

} // namespace lydevice

#pragma once

#include "protocol/NvrProtocolIp.h"
#include "reader/RecordReaderNvr.h"

namespace lydevice
{

// Incremental video reading of a network video recorder over HTTP.
class RecordReaderNvrIp final : public RecordReaderNvr
{
public:
    using RecordReaderNvr::RecordReaderNvr;
    ~RecordReaderNvrIp() override;

private:
    void sendRecordInfo() override;
    void onRecordInfoReply(bool ok, const QVector<QByteArray> &replies);
    void sendRecordInfoPage(int page) override;
    void onRecordInfoPageReply(int page, bool ok, const QVector<QByteArray> &replies);
    void sendTagSearch() override;
    void onTagSearchReply(bool ok, const QVector<QByteArray> &replies);
    void sendTagPage(int page) override;
    void onTagPageReply(int page, bool ok, const QVector<QByteArray> &replies);
    void sendEventSearch(EventCodes codes) override;
    void onEventSearchReply(bool ok, const QVector<QByteArray> &replies);
    void sendEventPage(int page) override;
    void onEventPageReply(int page, bool ok, const QVector<QByteArray> &replies);
    void sendTagClose(int handle) override;
    void sendEventClose(int handle) override;
    void sendSessionStop(int sid) override;

    NvrProtocolIp device() const;
};

} // namespace lydevice

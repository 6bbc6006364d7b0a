#pragma once

#include "protocol/NvrProtocolP2p.h"
#include "reader/RecordReaderNvr.h"

namespace lydevice
{

// Incremental video reading of a network video recorder over P2P.
class RecordReaderNvrP2p final : public RecordReaderNvr
{
public:
    using RecordReaderNvr::RecordReaderNvr;
    ~RecordReaderNvrP2p() override;

private:
    void sendRecordInfo() override;
    void onRecordInfoReply(bool ok, const QJsonObject &reply);
    void sendRecordInfoPage(int page) override;
    void onRecordInfoPageReply(int page, bool ok, const QJsonObject &reply);
    void sendTagSearch() override;
    void onTagSearchReply(bool ok, const QJsonObject &reply);
    void sendTagPage(int page) override;
    void onTagPageReply(int page, bool ok, const QJsonObject &reply);
    void sendEventSearch(EventCodes codes) override;
    void onEventSearchReply(bool ok, const QJsonObject &reply);
    void sendEventPage(int page) override;
    void onEventPageReply(int page, bool ok, const QJsonObject &reply);
    void sendTagClose(int handle) override;
    void sendEventClose(int handle) override;
    void sendSessionStop(int sid) override;

    NvrProtocolP2p device() const;
};

} // namespace lydevice

#pragma once

#include "operation/NvrVideoSearch.h"
#include "protocol/NvrProtocolP2p.h"

namespace lydevice
{

// search_video on a recorder over P2P. One record-info command opens the playback session (its
// pages are not walked), then the event search follows. Unlike over HTTP, an event search without
// records is a success, and a first event reply with "res" -1 is a failure.
class NvrSearchVideoP2p final : public NvrVideoSearch
{
public:
    using NvrVideoSearch::NvrVideoSearch;
    ~NvrSearchVideoP2p() override;

private:
    void requestRecordInfo(const RecordVideoDesc &search) override;
    void requestEventSearch(const RecordVideoDesc &search, EventCodes codes) override;
    void requestEventPage(int page) override;
    void sendEventClose(int handle, bool afterPage) override;

    void onRecordInfoReply(bool ok, const QJsonObject &reply);
    void onEventSearchReply(bool ok, const QJsonObject &reply);
    void onEventPageReply(int page, bool ok, const QJsonObject &reply);

    NvrProtocolP2p device() const;
};

} // namespace lydevice

#pragma once

#include "reader/RecordReaderNvr.h"
#include "transport/DeviceCommand.h"

namespace lydevice
{

// Incremental video reading of a network video recorder over P2P (recorder JSON commands).
class RecordReaderNvrP2p : public RecordReaderNvr
{
public:
    explicit RecordReaderNvrP2p(const TargetDesc &target);
    ~RecordReaderNvrP2p() override;

    // Stops playback session sid on the recorder behind handle; touches no reader.
    static void stopPlaybackSession(quint64 handle, int sid);

private:
    static void closeTagSearch(quint64 handle, int tagHandle);
    static void closeEventSearch(quint64 handle, int eventHandle);

    void sendRecordInfo() override;
    void sendRecordInfoPage(int page) override;
    void sendTagSearch() override;
    void sendTagPage(int page) override;
    void sendTagClose(int handle) override;
    void sendEventSearch(EventCodes codes) override;
    void sendEventPage(int page) override;
    void sendEventClose(int handle) override;
    void sendSessionStop(int sid) override;
    void endEmptyGeneralStage() override;
    bool warnsOnTagClose() const override;

    void send(NVRCommand command, const QJsonObject &request, P2PCommandCallback &&callback) const;

    void onRecordInfoReply(bool ok, const QJsonObject &reply);
    void onRecordInfoPageReply(int page, bool ok, const QJsonObject &reply);
    void onTagSearchReply(bool ok, const QJsonObject &reply);
    void onTagPageReply(int page, bool ok, const QJsonObject &reply);
    void onEventSearchReply(bool ok, const QJsonObject &reply);
    void onEventPageReply(int page, bool ok, const QJsonObject &reply);
};

} // namespace lydevice

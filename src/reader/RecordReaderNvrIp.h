#pragma once

#include "reader/RecordReaderNvr.h"
#include "transport/DeviceCommand.h"

namespace lydevice
{

// Incremental video reading of a network video recorder over HTTP ("/sdk.cgi" key=value replies).
class RecordReaderNvrIp : public RecordReaderNvr
{
public:
    explicit RecordReaderNvrIp(const TargetDesc &target);
    ~RecordReaderNvrIp() override;

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

    void send(Query query, TCPCommandCallback &&callback) const;

    void onRecordInfoReply(bool ok, const QVector<QByteArray> &replies);
    void onRecordInfoPageReply(int page, bool ok, const QVector<QByteArray> &replies);
    void onTagSearchReply(bool ok, const QVector<QByteArray> &replies);
    void onTagPageReply(int page, bool ok, const QVector<QByteArray> &replies);
    void onEventSearchReply(bool ok, const QVector<QByteArray> &replies);
    void onEventPageReply(int page, bool ok, const QVector<QByteArray> &replies);
};

} // namespace lydevice

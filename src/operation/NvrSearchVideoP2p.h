#pragma once

#include "operation/RecordOperation.h"

#include <QJsonObject>
#include <QVariantList>

namespace lydevice
{

// search_video on a recorder over P2P.
//
// The flow of NvrSearchVideoIp without the record-info paging: one record-info command opens the
// playback session, then the event search over all channels is read 100 records a page and its
// handle closed. Counts and ids come as numbers or as decimal strings. Unlike over HTTP, an event
// search without records is a success, and a first event reply "res" = "-1" is a failure.
class NvrSearchVideoP2p : public RecordOperation
{
public:
    NvrSearchVideoP2p(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind);
    ~NvrSearchVideoP2p() override;

    void run(const QVariantHash &params, Completion done) override;

private:
    // How the event close carries the handle.
    enum class HandleForm {
        Text,
        Number,
    };

    void onRecordInfoReply(bool ok, const QJsonObject &reply);
    void onEventSearchReply(bool ok, const QJsonObject &reply);
    void onEventPageReply(int pageIndex, bool ok, const QJsonObject &reply);

    void requestEventSearch();
    void requestEventPage(int pageIndex);
    void finishEventSearch(HandleForm form);
    void closeEventHandle();
    // Static: also sent for a late reply, when the operation is gone.
    static void sendEventClose(quint64 device, int searchHandle, HandleForm form);
    void fail();

    Completion done;
    QVariantList results;
    int sessionId = -1;
    int eventHandle = -1;
    int videoType = 0;
};

} // namespace lydevice

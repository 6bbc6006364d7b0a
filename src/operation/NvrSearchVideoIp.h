#pragma once

#include "operation/RecordOperation.h"

#include <QByteArray>
#include <QVariantList>
#include <QVector>

namespace lydevice
{

// search_video on a recorder over HTTP.
//
// The recorder first opens a playback session for the first channel and reports its records in
// record-info pages; we only walk those pages (the session id is what later requests and the
// manager need). The records themselves come from the event ("backup") search over all
// channels, 100 per page, whose handle is closed when the search ends or, if it is left open by
// a failure or a cancel, by the destructor.
class NvrSearchVideoIp : public RecordOperation
{
public:
    NvrSearchVideoIp(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind);
    ~NvrSearchVideoIp() override;

    void run(const QVariantHash &params, Completion done) override;

private:
    void onRecordInfoReply(bool ok, const QVector<QByteArray> &replies);
    void onRecordInfoPageReply(int pageIndex, bool ok, const QVector<QByteArray> &replies);
    void onEventSearchReply(bool ok, const QVector<QByteArray> &replies);
    void onEventPageReply(int pageIndex, bool ok, const QVector<QByteArray> &replies);

    void requestRecordInfoPage(int pageIndex);
    void requestEventSearch();
    void requestEventPage(int pageIndex);
    void finishEventSearch();
    void closeEventHandle();
    // Static: also sent for a late reply, when the operation is gone.
    static void sendEventClose(quint64 device, int searchHandle);
    void fail();

    Completion done;
    QVariantList results;
    int sessionId = -1;
    // 64 bits: the device's counts are subtracted page by page and must not overflow.
    qint64 remainingCount = 0;
    int eventHandle = -1;
    int videoType = 0;
};

} // namespace lydevice

#pragma once

#include "operation/RecordOperation.h"

#include <QDateTime>
#include <QJsonObject>
#include <QVariantList>

namespace lydevice
{

// search_video on a camera over P2P.
//
// The flow of IpcSearchVideoIp over JSON commands: the page count, then the file-list pages one
// after another, filtered by type at the end, "sid" 0. The camera is asked for every type (type 0,
// no mask), and a page count of 0 is a failure here.
class IpcSearchVideoP2p : public RecordOperation
{
public:
    IpcSearchVideoP2p(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind);

    void run(const QVariantHash &params, Completion done) override;

private:
    void onTotalPageReply(bool ok, const QJsonObject &reply);
    void onPageReply(bool ok, const QJsonObject &reply);

    void requestPage();
    void finishSearch();
    void fail();

    QDateTime startTime;
    QDateTime endTime;
    Completion done;
    QVariantList results;
    int totalPages = 0;
    int pageIndex = 0;
    int videoType = 0;
};

} // namespace lydevice

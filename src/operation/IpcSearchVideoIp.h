#pragma once

#include "operation/RecordOperation.h"

#include <QByteArray>
#include <QDateTime>
#include <QVariantList>
#include <QVector>

namespace lydevice
{

// search_video on a camera over HTTP.
//
// The camera lists its recordings as files: it reports how many file-list pages the span has for
// a type mask, then each page lists file strings (parseRecordFile). The mask is wider than the
// requested type, so only the entries of that type are kept, once all pages are read. A camera
// search opens no session; "sid" is always 0, and a span without files is a success.
class IpcSearchVideoIp : public RecordOperation
{
public:
    IpcSearchVideoIp(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind);

    void run(const QVariantHash &params, Completion done) override;

private:
    void onTotalPageReply(bool ok, const QVector<QByteArray> &replies);
    void onPageReply(bool ok, const QVector<QByteArray> &replies);

    void requestPage();
    void finishSearch();
    void fail();

    QDateTime startTime;
    QDateTime endTime;
    Completion done;
    int totalPages = 0;
    int pageIndex = 0;
    QVariantList results;
    int videoType = 0;
};

} // namespace lydevice

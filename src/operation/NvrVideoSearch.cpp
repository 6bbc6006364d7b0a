#include "operation/NvrVideoSearch.h"

#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "parse/HashAccess.h"
#include "protocol/ReplyLimits.h"

#include <QDebug>

namespace lydevice
{

void NvrVideoSearch::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    videoType = hashInt(params, QStringLiteral("type"));
    RecordVideoDesc search;
    search.channel = params.value(QStringLiteral("channel")).value<QVector<int>>();
    search.streamType = StreamType(hashInt(params, QStringLiteral("stream")));
    search.start = hashDateTime(params, QStringLiteral("startTime"));
    search.end = hashDateTime(params, QStringLiteral("endTime"));
    if (search.channel.isEmpty()) {
        // The record-info request names a channel; without one there is nothing to ask.
        qWarning() << "no channel to search";
        failLater(this->done);
        return;
    }
    requestRecordInfo(search);
}

void NvrVideoSearch::sessionOpened(int sid)
{
    sessionId = sid;
    qWarning() << "nvr playback session created. session: " << sessionId;
    owner->setSession(target, QVariant::fromValue(RecorderSession { sessionId, int(RecordKind::Video) }));
}

void NvrVideoSearch::startEventSearch()
{
    const TargetContext &context = owner->context(target);
    RecordVideoDesc search;
    search.channel = context.channel;
    search.streamType = StreamType(context.streamType);
    search.start = context.start;
    search.end = context.end;
    requestEventSearch(search, eventCodes(videoType));
}

void NvrVideoSearch::eventsReceived(const RecorderReply &reply, int page)
{
    // A full page means there may be more; an empty one is the regular end of a result that filled
    // its last page exactly. The next page is asked for before this page's entries are built, so
    // that the recorder works while we do.
    constexpr int eventPageSize = 100;
    const bool full = reply.count >= eventPageSize;
    if (full && page >= maxSearchPages)
        qWarning() << "event search page limit reached, ending the search at page" << page;
    const bool more = full && page < maxSearchPages;
    if (more)
        requestEventPage(page + 1);
    appendVideoEntries(reply.records, results);
    if (!more)
        finish(page > 1);
}

void NvrVideoSearch::finish(bool afterPage)
{
    sendEventClose(eventHandle, afterPage);
    // Closed now: the destructor, which runs inside the completion, must not close it again.
    eventHandle = -1;
    complete(done, true, { { QStringLiteral("sid"), sessionId }, { QStringLiteral("data"), results } });
}

void NvrVideoSearch::closeEventHandle()
{
    if (eventHandle < 0)
        return;
    qWarning() << "close event handle: " << eventHandle;
    sendEventClose(eventHandle, false);
    eventHandle = -1;
}

void NvrVideoSearch::fail()
{
    complete(done, false);
}

} // namespace lydevice

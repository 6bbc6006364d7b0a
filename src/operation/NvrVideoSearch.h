#pragma once

#include "operation/RecordOperation.h"
#include "protocol/RecorderRecords.h"

#include <QVariantList>

namespace lydevice
{

// What search_video on a recorder does over either transport.
//
// The recorder first opens a playback session for the first channel (record info); its id is what
// later reads and the manager need, and the records it lists are not used. The records come from
// the event ("backup") search over all channels, 100 a page: a reply of 100 or more asks for the
// next page. The event search handle is closed when the search ends or, if a failure or a cancel
// leaves it open, by the destructor of the transport's class (closeEventHandle()).
class NvrVideoSearch : public RecordOperation
{
public:
    using RecordOperation::RecordOperation;

    void run(const QVariantHash &params, Completion done) final;

protected:
    // The record-info request for the first channel of `search`.
    virtual void requestRecordInfo(const RecordVideoDesc &search) = 0;
    virtual void requestEventSearch(const RecordVideoDesc &search, EventCodes codes) = 0;
    // Event pages count from 1; page 1 is the event search's own reply.
    virtual void requestEventPage(int page) = 0;
    // `afterPage`: the close follows an event page reply rather than the event search's reply.
    virtual void sendEventClose(int handle, bool afterPage) = 0;

    // The record-info reply opened playback session `sid`.
    void sessionOpened(int sid);
    // The event search, from the device's context, which the manager filled from the same call.
    void startEventSearch();
    // Event page `page` (1 is the event search's reply) brought its records: the next page, or the
    // end.
    void eventsReceived(const RecorderReply &reply, int page);
    void closeEventHandle();
    void fail();

    // The playback session; -1 until the record-info reply opened one.
    int sessionId = -1;
    // The open event search; -1 when none is open.
    int eventHandle = -1;

private:
    void finish(bool afterPage);

    Completion done;
    QVariantList results;
    int videoType = 0;
};

} // namespace lydevice

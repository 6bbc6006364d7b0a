#include "reader/RecordReaderNvrP2p.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    // The recorder writes its counts and handles as text in some replies and as numbers in others.
    using P2p = NvrProtocolP2p;

} // namespace

RecordReaderNvrP2p::~RecordReaderNvrP2p()
{
    closeOnDevice();
}

NvrProtocolP2p RecordReaderNvrP2p::device() const
{
    return NvrProtocolP2p(target.handle);
}

void RecordReaderNvrP2p::sendRecordInfo()
{
    device().recordInfo(
        desc, bindP2pReply(this, &RecordReaderNvrP2p::onRecordInfoReply, device().stopOpenedPlayback()));
}

void RecordReaderNvrP2p::sendRecordInfoPage(int page)
{
    device().recordInfoPage(sessionId, page, bindP2pReply(this, &RecordReaderNvrP2p::onRecordInfoPageReply, page));
}

void RecordReaderNvrP2p::sendTagSearch()
{
    device().tagSearch(
        desc, bindP2pReply(this, &RecordReaderNvrP2p::onTagSearchReply, device().closeOpenedTagSearch()));
}

void RecordReaderNvrP2p::sendTagPage(int page)
{
    device().tagPage(tagHandle, page, bindP2pReply(this, &RecordReaderNvrP2p::onTagPageReply, page));
}

void RecordReaderNvrP2p::sendTagClose(int handle)
{
    device().closeTagSearch(handle);
}

void RecordReaderNvrP2p::sendEventSearch(EventCodes codes)
{
    // Closed by a reader that is gone whenever records came, whatever "res" says.
    device().eventSearch(desc,
        codes,
        P2p::Form::Text,
        bindP2pReply(this, &RecordReaderNvrP2p::onEventSearchReply, device().closeOpenedEventSearch(true)));
}

void RecordReaderNvrP2p::sendEventPage(int page)
{
    device().eventPage(eventHandle, page, bindP2pReply(this, &RecordReaderNvrP2p::onEventPageReply, page));
}

void RecordReaderNvrP2p::sendEventClose(int handle)
{
    device().closeEventSearch(handle);
}

void RecordReaderNvrP2p::sendSessionStop(int sid)
{
    device().stopPlayback(sid);
}

void RecordReaderNvrP2p::onRecordInfoReply(bool ok, const QJsonObject &reply)
{
    onRecordInfo(P2p::recordReply(ok, reply, P2p::text("cnt"), P2p::text("sid"), P2p::text("allCnt")));
}

void RecordReaderNvrP2p::onRecordInfoPageReply(int page, bool ok, const QJsonObject &reply)
{
    onRecordInfoPage(page, P2p::recordReply(ok, reply, P2p::text("cnt")));
}

void RecordReaderNvrP2p::onTagSearchReply(bool ok, const QJsonObject &reply)
{
    onTagSearch(P2p::reply(ok, reply, P2p::text("cnt"), P2p::number("sid"), P2p::number("allCnt")));
}

void RecordReaderNvrP2p::onTagPageReply(int page, bool ok, const QJsonObject &reply)
{
    onTagPage(page, P2p::reply(ok, reply, P2p::number("cnt")));
}

void RecordReaderNvrP2p::onEventSearchReply(bool ok, const QJsonObject &reply)
{
    // The recorder answers some event searches with "res" -1 and nothing we could tell apart: a
    // failed command or an empty stage. Taking it as empty lets the reading go on.
    if (ok && P2p::refused(reply)) {
        qInfo() << "res = -1, but we can't be sure this is a failed command return or there's no video";
        nextEventStage();
        return;
    }
    onEventSearch(P2p::recordReply(ok, reply, P2p::text("r.cnt"), P2p::text("r.sid"), P2p::text("r.allCnt")));
}

void RecordReaderNvrP2p::onEventPageReply(int page, bool ok, const QJsonObject &reply)
{
    onEventPage(page, P2p::recordReply(ok, reply, P2p::number("r.cnt")));
}

} // namespace lydevice

#include "reader/RecordReaderNvrIp.h"

#include <QDebug>

namespace lydevice
{

RecordReaderNvrIp::~RecordReaderNvrIp()
{
    closeOnDevice();
}

NvrProtocolIp RecordReaderNvrIp::device() const
{
    return NvrProtocolIp(target.handle);
}

void RecordReaderNvrIp::sendRecordInfo()
{
    device().recordInfo(
        desc, true, bindHttpReply(this, &RecordReaderNvrIp::onRecordInfoReply, device().stopOpenedPlayback()));
}

void RecordReaderNvrIp::sendRecordInfoPage(int page)
{
    device().recordInfoPage(sessionId, page, bindHttpReply(this, &RecordReaderNvrIp::onRecordInfoPageReply, page));
}

void RecordReaderNvrIp::sendTagSearch()
{
    device().tagSearch(
        desc, bindHttpReply(this, &RecordReaderNvrIp::onTagSearchReply, device().closeOpenedTagSearch()));
}

void RecordReaderNvrIp::sendTagPage(int page)
{
    device().tagPage(tagHandle, page, bindHttpReply(this, &RecordReaderNvrIp::onTagPageReply, page));
}

void RecordReaderNvrIp::sendTagClose(int handle)
{
    device().closeTagSearch(handle);
}

void RecordReaderNvrIp::sendEventSearch(EventCodes codes)
{
    device().eventSearch(
        desc, codes, bindHttpReply(this, &RecordReaderNvrIp::onEventSearchReply, device().closeOpenedEventSearch()));
}

void RecordReaderNvrIp::sendEventPage(int page)
{
    device().eventPage(eventHandle, page, bindHttpReply(this, &RecordReaderNvrIp::onEventPageReply, page));
}

void RecordReaderNvrIp::sendEventClose(int handle)
{
    device().closeEventSearch(handle);
}

void RecordReaderNvrIp::sendSessionStop(int sid)
{
    device().stopPlayback(sid);
}

void RecordReaderNvrIp::onRecordInfoReply(bool ok, const QVector<QByteArray> &replies)
{
    onRecordInfo(NvrProtocolIp::recordReply(ok, replies, RecordKeys::Loose));
}

void RecordReaderNvrIp::onRecordInfoPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    onRecordInfoPage(page, NvrProtocolIp::recordReply(ok, replies, RecordKeys::Loose));
}

void RecordReaderNvrIp::onTagSearchReply(bool ok, const QVector<QByteArray> &replies)
{
    onTagSearch(NvrProtocolIp::tagSearchReply(ok, replies));
}

void RecordReaderNvrIp::onTagPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    onTagPage(page, NvrProtocolIp::tagPageReply(ok, replies));
}

void RecordReaderNvrIp::onEventSearchReply(bool ok, const QVector<QByteArray> &replies)
{
    onEventSearch(NvrProtocolIp::recordReply(ok, replies, RecordKeys::Loose));
}

void RecordReaderNvrIp::onEventPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    onEventPage(page, NvrProtocolIp::recordReply(ok, replies, RecordKeys::Loose));
}

} // namespace lydevice

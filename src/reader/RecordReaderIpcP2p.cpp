#include "reader/RecordReaderIpcP2p.h"

#include "protocol/IpcProtocolP2p.h"
#include "transport/ReplyBinding.h"

namespace lydevice
{

// Over P2P the camera is asked for every record type; the requested type plays no part.
void RecordReaderIpcP2p::start()
{
    IpcProtocolP2p(target.handle)
        .filePageCount(desc.start, desc.end, bindP2pReply(this, &RecordReaderIpcP2p::onTotalPageReply));
}

void RecordReaderIpcP2p::requestPage(int page)
{
    IpcProtocolP2p(target.handle)
        .filePage(desc.start, desc.end, page, bindP2pReply(this, &RecordReaderIpcP2p::onPageReply, page));
}

void RecordReaderIpcP2p::onTotalPageReply(bool ok, const QJsonObject &reply)
{
    // A fractional page count is truncated: 1.5 reads one page.
    onPageCount(ok, ok ? IpcProtocolP2p::truncatedPageCount(reply) : 0);
}

void RecordReaderIpcP2p::onPageReply(int page, bool ok, const QJsonObject &reply)
{
    onPage(page, ok, ok ? IpcProtocolP2p::filePage(reply) : QVariantList());
}

} // namespace lydevice

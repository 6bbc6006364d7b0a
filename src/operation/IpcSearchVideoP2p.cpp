#include "operation/IpcSearchVideoP2p.h"

#include "protocol/IpcProtocolP2p.h"
#include "transport/ReplyBinding.h"

namespace lydevice
{

void IpcSearchVideoP2p::requestPageCount()
{
    IpcProtocolP2p(target.handle)
        .filePageCount(startTime, endTime, bindP2pReply(this, &IpcSearchVideoP2p::onTotalPageReply));
}

void IpcSearchVideoP2p::onTotalPageReply(bool ok, const QJsonObject &reply)
{
    pageCountReceived(ok ? std::optional<int>(IpcProtocolP2p::wholePageCount(reply)) : std::nullopt, false);
}

void IpcSearchVideoP2p::requestPage(int page)
{
    IpcProtocolP2p(target.handle)
        .filePage(startTime, endTime, page, bindP2pReply(this, &IpcSearchVideoP2p::onPageReply));
}

void IpcSearchVideoP2p::onPageReply(bool ok, const QJsonObject &reply)
{
    pageReceived(ok ? std::optional<QVariantList>(IpcProtocolP2p::filePage(reply)) : std::nullopt);
}

} // namespace lydevice

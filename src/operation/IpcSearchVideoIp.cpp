#include "operation/IpcSearchVideoIp.h"

#include "protocol/IpcProtocolIp.h"

namespace lydevice
{

void IpcSearchVideoIp::requestPageCount()
{
    IpcProtocolIp(target.handle)
        .filePageCount(startTime, endTime, videoType, bindHttpReply(this, &IpcSearchVideoIp::onTotalPageReply));
}

void IpcSearchVideoIp::onTotalPageReply(bool ok, const QVector<QByteArray> &replies)
{
    pageCountReceived(IpcProtocolIp::filePageCount(ok, replies), true);
}

void IpcSearchVideoIp::requestPage(int page)
{
    IpcProtocolIp(target.handle)
        .filePage(startTime, endTime, page, bindHttpReply(this, &IpcSearchVideoIp::onPageReply));
}

void IpcSearchVideoIp::onPageReply(bool ok, const QVector<QByteArray> &replies)
{
    pageReceived(IpcProtocolIp::filePage(ok, replies));
}

} // namespace lydevice

#pragma once

#include "reader/RecordReaderIpc.h"

#include <QByteArray>
#include <QVector>

namespace lydevice
{

// Incremental video reading of an IP camera over HTTP ("/vb.htm" file list queries).
class RecordReaderIpcIp final : public RecordReaderIpc
{
public:
    using RecordReaderIpc::RecordReaderIpc;

private:
    void start() override;
    void requestPage(int page) override;

    void onTotalPageReply(bool ok, const QVector<QByteArray> &replies);
    void onPageReply(int page, bool ok, const QVector<QByteArray> &replies);
};

} // namespace lydevice

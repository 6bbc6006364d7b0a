#pragma once

#include "reader/RecordReaderIpc.h"

#include <QJsonObject>

namespace lydevice
{

// Incremental video reading of an IP camera over P2P (camera record search commands).
class RecordReaderIpcP2p final : public RecordReaderIpc
{
public:
    using RecordReaderIpc::RecordReaderIpc;

private:
    void start() override;
    void requestPage(int page) override;

    void onTotalPageReply(bool ok, const QJsonObject &reply);
    void onPageReply(int page, bool ok, const QJsonObject &reply);
};

} // namespace lydevice

#pragma once

#include "reader/RecordReaderIpc.h"

#include <QJsonObject>

namespace lydevice
{

// Incremental video reading of an IP camera over P2P (camera record search commands).
class RecordReaderIpcP2p : public RecordReaderIpc
{
public:
    explicit RecordReaderIpcP2p(const TargetDesc &target);
    ~RecordReaderIpcP2p() override;

private:
    void requestPageCount() override;
    void requestPage(int page) override;

    void onTotalPageReply(bool ok, const QJsonObject &reply);
    void onPageReply(int page, bool ok, const QJsonObject &reply);
};

} // namespace lydevice

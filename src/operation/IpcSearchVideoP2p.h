#pragma once

#include "operation/IpcVideoSearch.h"

#include <QJsonObject>

namespace lydevice
{

// search_video on a camera over P2P: the camera is asked for every type, and a page count of 0 (or
// one that is no whole number) is a failure.
class IpcSearchVideoP2p final : public IpcVideoSearch
{
public:
    using IpcVideoSearch::IpcVideoSearch;

private:
    void requestPageCount() override;
    void requestPage(int page) override;

    void onTotalPageReply(bool ok, const QJsonObject &reply);
    void onPageReply(bool ok, const QJsonObject &reply);
};

} // namespace lydevice

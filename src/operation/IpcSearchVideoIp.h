#pragma once

#include "operation/IpcVideoSearch.h"

#include <QByteArray>
#include <QVector>

namespace lydevice
{

// search_video on a camera over HTTP: the page count is asked with the type mask, and a span
// without files is an empty result.
class IpcSearchVideoIp final : public IpcVideoSearch
{
public:
    using IpcVideoSearch::IpcVideoSearch;

private:
    void requestPageCount() override;
    void requestPage(int page) override;

    void onTotalPageReply(bool ok, const QVector<QByteArray> &replies);
    void onPageReply(bool ok, const QVector<QByteArray> &replies);
};

} // namespace lydevice

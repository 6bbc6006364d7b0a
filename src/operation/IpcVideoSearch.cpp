#include "operation/IpcVideoSearch.h"

#include "parse/HashAccess.h"
#include "protocol/CameraFiles.h"

namespace lydevice
{

void IpcVideoSearch::run(const QVariantHash &params, Completion done)
{
    startTime = hashDateTime(params, QStringLiteral("startTime"));
    endTime = hashDateTime(params, QStringLiteral("endTime"));
    videoType = hashInt(params, QStringLiteral("type"));
    this->done = std::move(done);
    requestPageCount();
}

void IpcVideoSearch::pageCountReceived(std::optional<int> pages, bool emptySucceeds)
{
    if (!pages || (*pages == 0 && !emptySucceeds)) {
        fail();
        return;
    }
    if (*pages == 0) {
        finish({});
        return;
    }
    totalPages = *pages;
    page = 1;
    requestPage(page);
}

void IpcVideoSearch::pageReceived(const std::optional<QVariantList> &entries)
{
    if (!entries) {
        fail();
        return;
    }
    results.append(*entries);
    if (!moreFilePages(page, totalPages)) {
        finish(entriesOfType(results, videoType));
        return;
    }
    requestPage(++page);
}

void IpcVideoSearch::finish(const QVariantList &entries)
{
    complete(done, true, { { QStringLiteral("sid"), 0 }, { QStringLiteral("data"), entries } });
}

void IpcVideoSearch::fail()
{
    complete(done, false);
}

} // namespace lydevice

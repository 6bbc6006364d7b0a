#pragma once

#include "operation/RecordOperation.h"

#include <QDateTime>
#include <QVariantList>

#include <optional>

namespace lydevice
{

// What search_video on a camera does over either transport. The camera lists its recordings as
// files: it reports how many file-list pages the span has, then each page lists file strings.
// Pages are read one after another; the camera is asked more widely than the requested type, so
// only the entries of that type are kept, once all pages are read. A camera search opens no
// session: "sid" is always 0.
class IpcVideoSearch : public RecordOperation
{
public:
    using RecordOperation::RecordOperation;

    void run(const QVariantHash &params, Completion done) final;

protected:
    virtual void requestPageCount() = 0;
    // Pages count from 1.
    virtual void requestPage(int page) = 0;

    // The page count, none when the reply was not good. A span without recordings (0 pages) is a
    // success with no entries or a failure, as the transport has it.
    void pageCountReceived(std::optional<int> pages, bool emptySucceeds);
    // The entries of the page asked for last, none when the reply was not good.
    void pageReceived(const std::optional<QVariantList> &entries);

    QDateTime startTime;
    QDateTime endTime;
    int videoType = 0;

private:
    void finish(const QVariantList &entries);
    void fail();

    Completion done;
    int totalPages = 0;
    int page = 0;
    QVariantList results;
};

} // namespace lydevice

#pragma once

#include "Catalogue.h"
#include "DeviceBooks.h"
#include "DeviceLogic.h"
#include "Listing.h"
#include "SimulatorOptions.h"

#include <QHash>

namespace lydevice::sim
{

// A network video recorder: the "/sdk.cgi" actions over HTTP and the "nvr" commands over the link.
//
// Searches. A record-info search (HTTP "get.playback.recordinfo", command 25) opens a playback
// session; an event search ("evt_backup_search", 27), a tag search ("tags_search_open", 29) and a
// picture search ("picture_backup_search_open", HTTP only) open a handle of their kind. The reply
// to an opening request is page 1 and carries the handle ("sid", over the link "sid" or "r.sid"),
// the records on it ("cnt") and the total ("allCnt"); page requests name the handle and a page
// counted from 1. A search that finds nothing opens nothing and answers "cnt" 0 with "sid" -1 (a
// client that closes that -1 anyway shows up in DeviceBooks::strayCloses()).
// Handle numbers count up from a seeded start and are unique across kinds; a handle is closed
// only by the close of its own kind (a stop of the playback session closes the session).
//
// Replies over HTTP are "key=value" lines, each followed by "\r\n", beginning with "res=0" (or
// "res=-1" for a request naming no open handle or carrying unreadable times). Records are listed
// as startTime<i>, endTime<i>, recordType<i> and chnid<i>, tags as chnid<i>, id<i>, index<i>,
// name<i> (percent-encoded UTF-8) and time<i>, pictures as pts<i>, pTime<i> and chnid<i>, with i
// counted from 0 within the reply. Times are "yyyy-MM-dd HH:mm:ss". The picture index reply ends
// with "data=" and the JPEG in base64.
//
// Over the link, records are r[<i>].startTime, r[<i>].endTime, r[<i>].recordType and r[<i>].chnid;
// counts are text where clients read text: "cnt", "sid" and "allCnt" of command 25 and "cnt" of
// 26; "r.sid", "r.cnt" and "r.allCnt" of 27; "cnt" of 29 (whose "sid" and "allCnt" are numbers).
// The page replies of 28 and 31 carry "r.cnt" and "cnt" as numbers. Every reply carries "res":
// "0", or "-1" as over HTTP.
class RecorderDevice : public DeviceLogic
{
public:
    RecorderDevice(const Catalogue &catalogue, DeviceBooks &books, const SimulatorOptions &options);

    QString linkKind() const override;
    QString httpRequestKind(const HttpRequest &request) const override;
    HttpReply answerHttp(const HttpRequest &request) override;
    QJsonObject answerLink(int command, const QJsonObject &request) override;

private:
    struct Search {
        HandleKind kind = HandleKind::PlaybackSession;
        Listing listing;
        int pageSize = 100;
    };
    // One page of a search: the items [offset, offset + count) of `listing`.
    struct Page {
        bool valid = false; // false: no such handle, or the request could not be read
        int sid = -1;
        int total = 0;
        int offset = 0;
        int count = 0;
        Listing listing;
    };

    Page openSearch(HandleKind kind, const Listing &listing, int pageSize);
    Page searchPage(HandleKind kind, int sid, int page);
    bool closeSearch(HandleKind kind, int sid);

    Page openRecordInfo(int channel, const QString &start, const QString &end);
    Page openEvents(const QString &mask, int event, int subType, const QString &start, const QString &end);
    Page openTags(const QString &mask, const QString &start, const QString &end);
    Page openPictures(const QString &mask, int majorType, const QString &start, const QString &end);

    QByteArray httpOpened(const Page &page, HandleKind kind) const;
    QByteArray httpPage(const Page &page, HandleKind kind) const;
    void appendHttpItems(QByteArray &out, const Page &page, HandleKind kind) const;
    QByteArray httpPictureIndex(const HttpRequest &request);
    QByteArray httpClose(
        const HttpRequest &request, HandleKind kind, const QString &countKey, const QString &sidPattern);

    void addLinkRecords(QJsonObject &reply, const Page &page) const;
    void addLinkTags(QJsonObject &reply, const Page &page) const;
    QJsonObject linkClose(
        const QJsonObject &request, HandleKind kind, const QString &countKey, const QString &sidPattern);

    const Catalogue &catalogue;
    DeviceBooks &books;
    const SimulatorOptions &options;
    QHash<int, Search> searches;
    int nextHandle;
};

} // namespace lydevice::sim

#pragma once

#include "manager/RecordSession.h"
#include "protocol/OpenedPictureSearch.h"
#include "transport/ReplyBinding.h"
#include "transport/SendCommand.h"

#include <lydevice/lydevice.h>

#include <QByteArray>
#include <QVariantList>
#include <QVector>

#include <optional>

namespace lydevice
{

struct TargetContext;

// Everything LyDevice says to an IP camera over HTTP and reads from its replies: the record file
// queries ("/vb.htm", "OK key=value" replies), the picture list ("/vb.htm" "sdexplorer", a JSON
// table), the picture download ("/dataloader.cgi") and the close of a picture search. Searches,
// readers and session closes all go through here.
class IpcProtocolIp
{
public:
    // Pictures per page: the camera pages by what we ask for.
    static constexpr int picturePageSize = 30;

    explicit IpcProtocolIp(quint64 handle);

    // The number of record file pages in a span for a type mask, and one page (counting from 1).
    void filePageCount(const QDateTime &start, const QDateTime &end, int videoType, TCPCommandCallback &&reply) const;
    void filePage(const QDateTime &start, const QDateTime &end, int page, TCPCommandCallback &&reply) const;
    // The picture list: its first page opens the search (a camera searches all its pictures, not
    // by channel); later pages (from 0) name the session held in the context. One picture of that
    // search.
    void pictureSearch(RecordPictureType type,
        const QVector<int> &,
        const QDateTime &start,
        const QDateTime &end,
        TCPCommandCallback &&reply) const;
    void picturePage(const TargetContext &context, int page, TCPCommandCallback &&reply) const;
    void picture(const TargetContext &context, const QVariantHash &entry, int index, TCPCommandCallback &&reply) const;

    // Closes a picture search; nobody waits for the reply.
    void closeSession(const CameraSession &session) const;

    // The page count of a good page-count reply; none when the reply is not good.
    static std::optional<int> filePageCount(bool ok, const QVector<QByteArray> &replies);
    // The record file entries of a good page reply (a page without files gives none); none when the
    // reply is not good.
    static std::optional<QVariantList> filePage(bool ok, const QVector<QByteArray> &replies);

    // The search a picture list reply opened: none when the reply is not good, found nothing (also
    // a list that does not parse) or names no session to page with. The result holds "sum".
    static std::optional<OpenedPictureSearch> openedPictureSearch(bool ok, const QVector<QByteArray> &replies);
    // The entries of a picture page reply; none when the reply is not good.
    static std::optional<QVariantList> pageEntries(bool ok, const QVector<QByteArray> &replies);
    // The file of a download reply; none when the reply is not good or cannot be cut apart.
    static std::optional<QByteArray> pictureBytes(bool ok, const QVector<QByteArray> &replies);

private:
    // A picture list reply: the pictures of the whole search, the rows of this page and, from the
    // first row, the search's session.
    struct PictureList {
        bool good = false;
        int total = 0;
        QVariantList rows;
        std::optional<CameraSession> session;
    };
    static PictureList pictureList(bool ok, const QVector<QByteArray> &replies);
    // Picture entries of the rows: "name" (column 0) and "time" (column 1).
    static QVariantList pictureEntries(const QVariantList &rows);
    void vb(Query query, TCPCommandCallback &&reply) const;
    Query pictureQuery(RecordPictureType type, const QDateTime &start, const QDateTime &end, qint64 first) const;

    quint64 handle;
};

} // namespace lydevice

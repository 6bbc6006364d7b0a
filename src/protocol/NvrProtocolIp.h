#pragma once

#include "protocol/OpenedPictureSearch.h"
#include "protocol/RecorderRecords.h"
#include "transport/ReplyBinding.h"
#include "transport/SendCommand.h"

#include <lydevice/lydevice.h>

#include <QByteArray>
#include <QVector>

#include <optional>

namespace lydevice
{

struct TargetContext;

// Everything LyDevice says to a network video recorder over HTTP ("/sdk.cgi" with an "action",
// key=value replies) and everything it reads from the replies: the requests of the video searches,
// the incremental reader and the picture searches, the closes, and the reply readers with their
// bounds. Searches, readers and session closes all go through here, so a change of the recorder's
// HTTP interface is made once.
class NvrProtocolIp
{
public:
    // Pictures per page of the recorder's picture search; it pages by its own fixed size.
    static constexpr int picturePageSize = 100;

    explicit NvrProtocolIp(quint64 handle);

    // The playback record search ("record info") of the first channel of `search`, which opens the
    // playback session; `all` asks for every record type (the incremental reader does). Page
    // numbers count from 1.
    void recordInfo(const RecordVideoDesc &search, bool all, TCPCommandCallback &&reply) const;
    void recordInfoPage(int session, int page, TCPCommandCallback &&reply) const;
    // The event ("backup") search over every channel of `search`, and its pages.
    void eventSearch(const RecordVideoDesc &search, EventCodes codes, TCPCommandCallback &&reply) const;
    void eventPage(int search, int page, TCPCommandCallback &&reply) const;
    // The tag search over every channel of `search`, and its pages.
    void tagSearch(const RecordVideoDesc &search, TCPCommandCallback &&reply) const;
    void tagPage(int search, int page, TCPCommandCallback &&reply) const;
    // The picture search, one page of the search held in the context (from 0), one picture of it
    // (the recorder names it by the entry alone).
    void pictureSearch(RecordPictureType type,
        const QVector<int> &channels,
        const QDateTime &start,
        const QDateTime &end,
        TCPCommandCallback &&reply) const;
    void picturePage(const TargetContext &context, int page, TCPCommandCallback &&reply) const;
    void picture(const TargetContext &context, const QVariantHash &entry, int, TCPCommandCallback &&reply) const;

    // Closes. Nobody waits for their replies.
    void closeEventSearch(int search) const;
    void closeTagSearch(int search) const;
    void stopPlayback(int session) const;
    void closePictureSearch(int session) const;

    // For the reply to an opening request that arrives after its worker is gone: closes what the
    // reply opened, which nobody else knows about and the recorder would otherwise keep open.
    HttpGoneHandler stopOpenedPlayback() const;
    HttpGoneHandler closeOpenedEventSearch() const;
    HttpGoneHandler closeOpenedTagSearch() const;

    // A reply that lists records (record info, the event search and their pages), with its records.
    static RecorderReply recordReply(bool ok, const QVector<QByteArray> &replies, RecordKeys keys);
    // The tag search reply, read as text throughout (tag names may look like numbers), and a tag
    // page, whose counts the recorder writes as numbers.
    static RecorderReply tagSearchReply(bool ok, const QVector<QByteArray> &replies);
    static RecorderReply tagPageReply(bool ok, const QVector<QByteArray> &replies);
    // The search a picture search reply opened: none when the reply is not good or found no
    // picture (a search we could not page through). The result holds "sid" and "sum".
    static std::optional<OpenedPictureSearch> openedPictureSearch(bool ok, const QVector<QByteArray> &replies);
    // The entries of a picture page reply; none when the reply is not good.
    static std::optional<QVariantList> pageEntries(bool ok, const QVector<QByteArray> &replies);
    // The picture bytes of a picture reply; none when the reply is not good or holds no picture.
    static std::optional<QByteArray> pictureBytes(bool ok, const QVector<QByteArray> &replies);

private:
    // The counts and handles ("cnt", "sid", "allCnt") of a reply of at most maxBytes, read as numbers
    // or as text, and every member.
    static RecorderReply read(bool ok, const QVector<QByteArray> &replies, bool numeric, int maxBytes);
    static RecorderReply numbers(bool ok, const QVector<QByteArray> &replies);
    // Picture entries 0 to count - 1 of a picture reply: "name" (the pts, which names the picture
    // when it is fetched), "time" and "channel".
    static QVariantList pictureEntries(const RecorderReply &reply);
    void sdk(Query query, TCPCommandCallback &&reply) const;
    void sdk(Query query) const;
    using ReplyReader = RecorderReply (*)(bool, const QVector<QByteArray> &);
    HttpGoneHandler closeWhenGone(ReplyReader read, void (NvrProtocolIp::*close)(int) const) const;

    quint64 handle;
};

} // namespace lydevice

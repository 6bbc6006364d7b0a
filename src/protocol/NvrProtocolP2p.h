#pragma once

#include "protocol/RecorderRecords.h"
#include "transport/ReplyBinding.h"

#include <lydevice/lydevice.h>

#include <QJsonObject>

namespace lydevice
{

// Everything LyDevice says to a network video recorder over the P2P link (recorder JSON commands)
// and everything it reads from the replies: the commands of the video search, the incremental
// reader and the session close, the closes for replies that arrive after their worker is gone, and
// the reply readers with their bounds.
//
// The recorder is not consistent about JSON types: some members come as numbers, some as decimal
// text, and not always the same way in every reply. Each request and reply below follows what the
// recorder does.
class NvrProtocolP2p
{
public:
    // How a value is written in a request or read from a reply: a decimal text, or a JSON number
    // (read truncated toward zero).
    enum class Form {
        Text,
        Number,
    };
    // A member of a reply and its form; a field without a key reads 0.
    struct Field {
        const char *key;
        Form form;
    };
    static Field text(const char *key);
    static Field number(const char *key);

    explicit NvrProtocolP2p(quint64 handle);

    // The playback record search of the first channel of `search` (it opens the playback session)
    // and its pages, counting from 1.
    void recordInfo(const RecordVideoDesc &search, P2PCommandCallback &&reply) const;
    void recordInfoPage(int session, int page, P2PCommandCallback &&reply) const;
    // The event search over every channel; `values` is how its codes and flags are written (the
    // one-shot search sends numbers, the incremental reader text). Then its pages.
    void eventSearch(const RecordVideoDesc &search, EventCodes codes, Form values, P2PCommandCallback &&reply) const;
    void eventPage(int search, int page, P2PCommandCallback &&reply) const;
    // The tag search over every channel, and its pages.
    void tagSearch(const RecordVideoDesc &search, P2PCommandCallback &&reply) const;
    void tagPage(int search, int page, P2PCommandCallback &&reply) const;

    // Closes. Nobody waits for their replies. The event search handle usually goes as text; the
    // one-shot search sends it as a number after reading pages.
    void closeEventSearch(int search, Form form = Form::Text) const;
    void closeTagSearch(int search) const;
    void stopPlayback(int session) const;

    // For the reply to an opening command that arrives after its worker is gone: closes what the
    // reply opened. An event search is open once it named a handle, even without records; the
    // incremental reader closes it only when records came (`onlyWithRecords`).
    P2pGoneHandler stopOpenedPlayback() const;
    P2pGoneHandler closeOpenedTagSearch() const;
    P2pGoneHandler closeOpenedEventSearch(bool onlyWithRecords) const;

    // A reply: good when the command went through; count, handle and total read from the fields.
    static RecorderReply reply(bool ok,
        const QJsonObject &json,
        Field count,
        Field handle = { nullptr, Form::Text },
        Field total = { nullptr, Form::Text });
    // The same for a reply that lists records, with records 0 to count - 1: "r[<i>].recordType" (a
    // number in text), "r[<i>].startTime", "r[<i>].endTime".
    static RecorderReply recordReply(bool ok,
        const QJsonObject &json,
        Field count,
        Field handle = { nullptr, Form::Text },
        Field total = { nullptr, Form::Text });
    // The recorder answers some event searches with "res" -1.
    static bool refused(const QJsonObject &json);

private:
    void send(NVRCommand command, const QJsonObject &request, P2PCommandCallback &&reply) const;
    void send(NVRCommand command, const QJsonObject &request) const;

    quint64 handle;
};

} // namespace lydevice

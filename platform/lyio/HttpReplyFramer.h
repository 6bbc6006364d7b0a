#pragma once

// Finds the end of one HTTP/1.x reply in the bytes a device sends, without changing them.

#include <QByteArray>

namespace lyio
{

// Incremental: feed the bytes as they arrive, read the reply once it is complete. The reply is
// kept exactly as received (a chunked body stays chunked), except that interim 1xx replies in
// front of it are dropped. The body ends by Content-Length, by the last chunk and its trailers,
// or, with neither, when the device closes the connection.
class HttpReplyFramer
{
public:
    enum class Status {
        Incomplete, // more bytes needed
        Complete, // takeReply() holds the reply
        Malformed, // status line, header, chunk framing or a truncated reply
        TooLarge, // the reply, an interim reply in front of it, or an announced length exceeds the limit
    };

    // Longest line of the chunked framing, a chunk size line with its extensions or a trailer
    // field; a longer one is Malformed.
    static constexpr int MaxChunkLine = 4096;
    // Longest status line and headers of one reply; a longer head is TooLarge. Devices send a
    // few hundred bytes.
    static constexpr int MaxHeadSize = 64 * 1024;

    explicit HttpReplyFramer(qint64 maxReplySize);

    // Forgets everything; ready for the next reply.
    void reset();
    // Appends bytes and advances as far as they allow. After a final status, returns it again.
    Status feed(const QByteArray &bytes);
    // The connection was closed: completes a reply that is delimited by the close, fails others.
    Status finish();

    // Whether any byte of this reply arrived.
    bool hasBytes() const;
    // After Complete: whether the connection may carry the next request (HTTP/1.1 without
    // "Connection: close", HTTP/1.0 with "Connection: keep-alive", the body not ended by close).
    bool keepAlive() const;
    // After Complete: whether bytes arrived beyond the end of the reply.
    bool hasExcess() const;
    // After Complete: the reply bytes.
    QByteArray takeReply();
    // After Complete: the status code and the reason phrase (as sent, possibly empty) of the
    // reply, interim replies skipped.
    int statusCode() const;
    QByteArray reasonPhrase() const;

private:
    enum class Phase { Head, FixedBody, ChunkSize, ChunkData, ChunkEnd, Trailers, UntilClose, Done, Failed };

    Status advance();
    // Each step returns whether it moved on to another phase; a final outcome sets Done or Failed.
    bool stepHead();
    bool stepData();
    bool stepChunkSize();
    bool stepChunkEnd();
    bool stepTrailers();
    bool parseStatusLine(const QByteArray &line);
    bool parseHeaderLine(const QByteArray &line);
    void startBody();
    void resetHead();
    Status fail(Status status);
    // The line at pos_ without its line break ("\r\n" or a bare "\n") and the position after it;
    // false while the line has not fully arrived. A line that arrives in many pieces is searched
    // once: what was searched in vain is remembered.
    bool nextLine(QByteArray *line, int *next);
    // nextLine() for a line of the chunked framing; fails as Malformed once the line is seen to be
    // longer than MaxChunkLine.
    bool nextChunkLine(QByteArray *line, int *next);

    qint64 maxReplySize_;
    QByteArray buffer_;
    int pos_ = 0; // start of what is not parsed yet
    int searched_ = 0; // buffer_ from pos_ up to here holds no line break
    qint64 remaining_ = 0; // body or chunk bytes still to come
    Phase phase_ = Phase::Head;
    Status final_ = Status::Incomplete;
    int interimReplies_ = 0;
    bool closeDelimited_ = false;
    // From the head of the reply being read.
    bool sawStatusLine_ = false;
    bool http10_ = false;
    bool connectionClose_ = false;
    bool connectionKeepAlive_ = false;
    bool hasContentLength_ = false;
    qint64 contentLength_ = 0;
    bool transferEncoding_ = false;
    bool chunked_ = false;
    int statusCode_ = 0;
    QByteArray reasonPhrase_;
};

} // namespace lyio

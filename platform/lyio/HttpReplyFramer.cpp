#include "HttpReplyFramer.h"

#include <QList>

#include <algorithm>
#include <climits>

namespace lyio
{

namespace
{

    // "100 Continue" and friends in front of the real reply.
    constexpr int MaxInterimReplies = 8;

    bool isDigit(char c)
    {
        return c >= '0' && c <= '9';
    }

    int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool isTokenChar(char c)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F)
            return false;
        static const char separators[] = "()<>@,;:\\\"/[]?={}";
        return std::find(std::begin(separators), std::end(separators) - 1, c) == std::end(separators) - 1;
    }

    // The comma-separated elements of a header value, trimmed, empty ones left out.
    QList<QByteArray> listElements(const QByteArray &value)
    {
        QList<QByteArray> elements;
        for (const QByteArray &part : value.split(',')) {
            const QByteArray element = part.trimmed();
            if (!element.isEmpty())
                elements.append(element);
        }
        return elements;
    }

} // namespace

HttpReplyFramer::HttpReplyFramer(qint64 maxReplySize)
    // Positions are QByteArray indexes: keep the limit well inside int.
    : maxReplySize_(std::clamp<qint64>(maxReplySize, 1, INT_MAX / 2))
{
}

void HttpReplyFramer::reset()
{
    buffer_.clear();
    pos_ = 0;
    searched_ = 0;
    remaining_ = 0;
    phase_ = Phase::Head;
    final_ = Status::Incomplete;
    resetHead();
    interimReplies_ = 0;
    closeDelimited_ = false;
}

void HttpReplyFramer::resetHead()
{
    sawStatusLine_ = false;
    http10_ = false;
    connectionClose_ = false;
    connectionKeepAlive_ = false;
    hasContentLength_ = false;
    contentLength_ = 0;
    transferEncoding_ = false;
    chunked_ = false;
    statusCode_ = 0;
    reasonPhrase_.clear();
}

HttpReplyFramer::Status HttpReplyFramer::feed(const QByteArray &bytes)
{
    if (phase_ == Phase::Done || phase_ == Phase::Failed)
        return final_;
    buffer_.append(bytes);
    return advance();
}

HttpReplyFramer::Status HttpReplyFramer::finish()
{
    if (phase_ == Phase::Done || phase_ == Phase::Failed)
        return final_;
    if (phase_ != Phase::UntilClose)
        return fail(Status::Malformed); // cut off in the middle
    pos_ = buffer_.size();
    phase_ = Phase::Done;
    final_ = Status::Complete;
    return final_;
}

bool HttpReplyFramer::hasBytes() const
{
    return !buffer_.isEmpty() || interimReplies_ > 0;
}

bool HttpReplyFramer::keepAlive() const
{
    if (phase_ != Phase::Done || closeDelimited_ || connectionClose_)
        return false;
    return !http10_ || connectionKeepAlive_;
}

bool HttpReplyFramer::hasExcess() const
{
    return phase_ == Phase::Done && pos_ < buffer_.size();
}

QByteArray HttpReplyFramer::takeReply()
{
    if (phase_ != Phase::Done)
        return {};
    QByteArray reply = pos_ < buffer_.size() ? buffer_.left(pos_) : std::move(buffer_);
    buffer_.clear();
    pos_ = 0;
    searched_ = 0;
    return reply;
}

int HttpReplyFramer::statusCode() const
{
    return statusCode_;
}

QByteArray HttpReplyFramer::reasonPhrase() const
{
    return reasonPhrase_;
}

HttpReplyFramer::Status HttpReplyFramer::fail(Status status)
{
    phase_ = Phase::Failed;
    final_ = status;
    return final_;
}

bool HttpReplyFramer::nextLine(QByteArray *line, int *next)
{
    // Whenever pos_ moves on, it moves past searched_: a line found ends at or after it, and
    // body bytes come only after a line.
    const int newline = buffer_.indexOf('\n', std::max(pos_, searched_));
    if (newline < 0) {
        searched_ = buffer_.size();
        return false;
    }
    int end = newline;
    if (end > pos_ && buffer_.at(end - 1) == '\r')
        --end;
    *line = buffer_.mid(pos_, end - pos_);
    *next = newline + 1;
    return true;
}

HttpReplyFramer::Status HttpReplyFramer::advance()
{
    while (phase_ != Phase::Done && phase_ != Phase::Failed) {
        bool progressed = false;
        switch (phase_) {
        case Phase::Head:
            progressed = stepHead();
            break;
        case Phase::FixedBody:
        case Phase::ChunkData:
            progressed = stepData();
            break;
        case Phase::ChunkSize:
            progressed = stepChunkSize();
            break;
        case Phase::ChunkEnd:
            progressed = stepChunkEnd();
            break;
        case Phase::Trailers:
            progressed = stepTrailers();
            break;
        case Phase::UntilClose:
            pos_ = buffer_.size();
            break;
        case Phase::Done:
        case Phase::Failed:
            break;
        }
        if (!progressed)
            break;
    }
    if (phase_ == Phase::Failed)
        return final_;
    if (phase_ == Phase::Done) {
        final_ = pos_ > maxReplySize_ ? fail(Status::TooLarge) : Status::Complete;
        return final_;
    }
    if (buffer_.size() > maxReplySize_)
        return fail(Status::TooLarge);
    return Status::Incomplete;
}

bool HttpReplyFramer::stepHead()
{
    QByteArray line;
    int next = 0;
    if (!nextLine(&line, &next)) {
        if (buffer_.size() > MaxHeadSize)
            fail(Status::TooLarge);
        return false;
    }
    if (next > MaxHeadSize) {
        fail(Status::TooLarge);
        return false;
    }
    pos_ = next;
    if (!sawStatusLine_) {
        if (!parseStatusLine(line))
            fail(Status::Malformed);
        sawStatusLine_ = true;
        return true;
    }
    if (!line.isEmpty()) {
        if (!parseHeaderLine(line))
            fail(Status::Malformed);
        return true;
    }
    startBody();
    return true;
}

bool HttpReplyFramer::parseStatusLine(const QByteArray &line)
{
    // "HTTP/1.x 200" and an optional reason phrase after a blank.
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || !isDigit(line.at(7)) || line.at(8) != ' ')
        return false;
    if (!isDigit(line.at(9)) || !isDigit(line.at(10)) || !isDigit(line.at(11)))
        return false;
    if (line.size() > 12 && line.at(12) != ' ')
        return false;
    http10_ = line.at(7) == '0';
    statusCode_ = (line.at(9) - '0') * 100 + (line.at(10) - '0') * 10 + (line.at(11) - '0');
    reasonPhrase_ = line.mid(13);
    return statusCode_ >= 100;
}

bool HttpReplyFramer::parseHeaderLine(const QByteArray &line)
{
    const int colon = line.indexOf(':');
    if (colon <= 0)
        return false; // no name, or a folded continuation line
    const QByteArray name = line.left(colon);
    if (!std::all_of(name.cbegin(), name.cend(), isTokenChar))
        return false;
    const QByteArray value = line.mid(colon + 1).trimmed();

    if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
        // A list of equal values ("12, 12") is accepted; anything that disagrees is not.
        const QList<QByteArray> elements = listElements(value);
        if (elements.isEmpty())
            return false;
        for (const QByteArray &element : elements) {
            qint64 length = 0;
            for (const char c : element) {
                if (!isDigit(c))
                    return false;
                // Saturate above the limit: such a reply is refused as too large anyway.
                length = std::min<qint64>(length * 10 + (c - '0'), maxReplySize_ + 1);
            }
            if (hasContentLength_ && length != contentLength_)
                return false;
            hasContentLength_ = true;
            contentLength_ = length;
        }
    } else if (name.compare("transfer-encoding", Qt::CaseInsensitive) == 0) {
        // The body is chunked when "chunked" is the last coding applied.
        const QList<QByteArray> codings = listElements(value);
        if (!codings.isEmpty()) {
            transferEncoding_ = true;
            chunked_ = codings.last().compare("chunked", Qt::CaseInsensitive) == 0;
        }
    } else if (name.compare("connection", Qt::CaseInsensitive) == 0) {
        for (const QByteArray &option : listElements(value)) {
            if (option.compare("close", Qt::CaseInsensitive) == 0)
                connectionClose_ = true;
            else if (option.compare("keep-alive", Qt::CaseInsensitive) == 0)
                connectionKeepAlive_ = true;
        }
    }
    return true;
}

void HttpReplyFramer::startBody()
{
    if (statusCode_ < 200 && statusCode_ != 101) {
        // An interim reply: the real one follows on the same connection. It must fit the limit on
        // its own, as the final reply must: arriving in pieces, its bytes are held against the
        // limit until its blank line, so a reply must not pass only because it came whole.
        if (++interimReplies_ > MaxInterimReplies) {
            fail(Status::Malformed);
            return;
        }
        if (pos_ > maxReplySize_) {
            fail(Status::TooLarge);
            return;
        }
        buffer_.remove(0, pos_);
        pos_ = 0;
        searched_ = 0;
        resetHead();
        return;
    }
    if (statusCode_ == 204 || statusCode_ == 304) {
        phase_ = Phase::Done;
    } else if (transferEncoding_) {
        // A coding other than chunked last leaves only the close to end the body.
        phase_ = chunked_ ? Phase::ChunkSize : Phase::UntilClose;
    } else if (hasContentLength_) {
        if (contentLength_ > maxReplySize_ - pos_) {
            fail(Status::TooLarge);
            return;
        }
        remaining_ = contentLength_;
        phase_ = remaining_ == 0 ? Phase::Done : Phase::FixedBody;
        buffer_.reserve(static_cast<int>(pos_ + contentLength_));
    } else {
        phase_ = Phase::UntilClose;
    }
    closeDelimited_ = phase_ == Phase::UntilClose;
}

bool HttpReplyFramer::stepData()
{
    const qint64 available = buffer_.size() - pos_;
    const qint64 taken = std::min(available, remaining_);
    pos_ += static_cast<int>(taken);
    remaining_ -= taken;
    if (remaining_ > 0)
        return false;
    phase_ = phase_ == Phase::FixedBody ? Phase::Done : Phase::ChunkEnd;
    return true;
}

bool HttpReplyFramer::nextChunkLine(QByteArray *line, int *next)
{
    if (!nextLine(line, next)) {
        // The "\r" of the line break may be here already; it is no part of the line.
        if (buffer_.size() - pos_ > MaxChunkLine + 1)
            fail(Status::Malformed);
        return false;
    }
    if (line->size() > MaxChunkLine) {
        fail(Status::Malformed);
        return false;
    }
    return true;
}

bool HttpReplyFramer::stepChunkSize()
{
    QByteArray line;
    int next = 0;
    if (!nextChunkLine(&line, &next))
        return false;
    qint64 size = 0;
    int i = 0;
    for (; i < line.size() && hexValue(line.at(i)) >= 0; ++i) {
        size = size * 16 + hexValue(line.at(i));
        if (size > maxReplySize_) {
            fail(Status::TooLarge);
            return false;
        }
    }
    if (i == 0) {
        fail(Status::Malformed);
        return false;
    }
    // Optional blanks, then nothing or chunk extensions after ";".
    while (i < line.size() && (line.at(i) == ' ' || line.at(i) == '\t'))
        ++i;
    if (i < line.size() && line.at(i) != ';') {
        fail(Status::Malformed);
        return false;
    }
    pos_ = next;
    remaining_ = size;
    phase_ = size == 0 ? Phase::Trailers : Phase::ChunkData;
    return true;
}

bool HttpReplyFramer::stepChunkEnd()
{
    if (pos_ >= buffer_.size())
        return false;
    if (buffer_.at(pos_) == '\n') {
        pos_ += 1;
    } else if (buffer_.at(pos_) == '\r') {
        if (pos_ + 1 >= buffer_.size())
            return false;
        if (buffer_.at(pos_ + 1) != '\n') {
            fail(Status::Malformed);
            return false;
        }
        pos_ += 2;
    } else {
        fail(Status::Malformed);
        return false;
    }
    phase_ = Phase::ChunkSize;
    return true;
}

bool HttpReplyFramer::stepTrailers()
{
    // Trailer fields are kept in the reply but not read; the empty line ends the reply.
    QByteArray line;
    int next = 0;
    if (!nextChunkLine(&line, &next))
        return false;
    pos_ = next;
    if (line.isEmpty())
        phase_ = Phase::Done;
    return true;
}

} // namespace lyio

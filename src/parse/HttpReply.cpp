#include "HttpReply.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    bool isAsciiDigit(QChar c)
    {
        return c.unicode() >= u'0' && c.unicode() <= u'9';
    }

    // Decodes chunked transfer coding the way our devices write it. The devices never send chunk
    // extensions or trailers we need; a size line that is no hexadecimal number reads as 0. Decoding
    // stops at a size line that begins with "0" (the last chunk, but also a size written with a
    // leading zero: the devices do not write those) or when the data runs out; in both cases the
    // bytes decoded so far are the body. Sizes are only ever compared with what is left, so a huge
    // or negative size cannot move the read position outside the data.
    QByteArray decodeChunks(const QByteArray &data)
    {
        QByteArray out;
        const int size = data.size();
        int pos = 0;
        do {
            const int lineEnd = data.indexOf("\r\n", pos);
            if (lineEnd < 0)
                break; // the size line itself was cut off
            bool ok = false;
            qint64 chunkSize = data.mid(pos, lineEnd - pos).toLongLong(&ok, 16);
            if (!ok || chunkSize < 0)
                chunkSize = 0;
            pos = lineEnd + 2;

            const int remaining = size - pos;
            const int take = chunkSize < remaining ? int(chunkSize) : remaining;
            out.append(data.constData() + pos, take);
            // Skip the chunk and the line break that closes it; both may be missing at the end.
            pos += take;
            pos += qMin(2, size - pos);
        } while (pos < size && data.at(pos) != '0');
        return out;
    }

} // namespace

int httpStatusCode(const QString &reply)
{
    // "HTTP/1.0 " or "HTTP/1.1 ", then the digits of the code, then a blank.
    static const QLatin1String versionPrefix("HTTP/1.");
    if (!reply.startsWith(versionPrefix))
        return -1;
    int pos = versionPrefix.size();
    if (pos + 1 >= reply.size() || (reply.at(pos) != u'0' && reply.at(pos) != u'1') || reply.at(pos + 1) != u' ')
        return -1;
    pos += 2;
    const int digitsStart = pos;
    while (pos < reply.size() && isAsciiDigit(reply.at(pos)))
        ++pos;
    if (pos == digitsStart || pos >= reply.size() || reply.at(pos) != u' ')
        return -1;
    bool ok = false;
    const int code = QStringView(reply).mid(digitsStart, pos - digitsStart).toInt(&ok, 10);
    return ok ? code : -1;
}

QByteArray httpReplyBody(const QByteArray &reply)
{
    // Only a plain "200 OK" carries a body we use; devices answer 206 and the like with nothing
    // we can read.
    if (!reply.startsWith("HTTP/1.1 200 OK\r\n") && !reply.startsWith("HTTP/1.0 200 OK\r\n"))
        return {};
    // The devices write this header in exactly this form; the first occurrence anywhere counts.
    const bool chunked = reply.contains("Transfer-Encoding: chunked\r\n");
    const int headerEnd = reply.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return {}; // the headers never ended: there is no body
    const QByteArray body = reply.mid(headerEnd + 4);
    if (!chunked || body.isEmpty())
        return body;
    return decodeChunks(body);
}

QString replyText(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size()))));
}

QByteArray firstReply(const QVector<QByteArray> &replies)
{
    return replies.isEmpty() ? QByteArray() : replies.first();
}

bool httpReplyGood(bool ok, const QVector<QByteArray> &replies)
{
    if (!ok || replies.isEmpty())
        return false;
    // The status is on the first line; the rest of a large reply need not be decoded for it.
    const QByteArray &reply = replies.first();
    const int lineEnd = reply.indexOf('\n');
    return httpStatusCode(replyText(lineEnd < 0 ? reply : reply.left(lineEnd))) == 200;
}

std::optional<QByteArray> boundedReplyBody(bool ok, const QVector<QByteArray> &replies, int maxBytes)
{
    if (!httpReplyGood(ok, replies))
        return std::nullopt;
    const QByteArray reply = firstReply(replies);
    if (reply.size() > maxBytes) {
        qWarning() << "reply too large for what it should carry, not read:" << reply.size() << "bytes";
        return std::nullopt;
    }
    return httpReplyBody(reply);
}

} // namespace lydevice

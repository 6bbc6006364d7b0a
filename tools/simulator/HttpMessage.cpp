#include "HttpMessage.h"

#include <QList>

namespace lydevice::sim
{

namespace
{
    QString decode(const QByteArray &part)
    {
        return QString::fromUtf8(QByteArray::fromPercentEncoding(part));
    }

    bool isToken(const QByteArray &text)
    {
        if (text.isEmpty())
            return false;
        for (char c : text) {
            if (c <= ' ' || c >= 127)
                return false;
        }
        return true;
    }
} // namespace

bool HttpRequest::hasQuery(const QString &key) const
{
    for (const auto &pair : query) {
        if (pair.first == key)
            return true;
    }
    return false;
}

QString HttpRequest::queryValue(const QString &key) const
{
    for (const auto &pair : query) {
        if (pair.first == key)
            return pair.second;
    }
    return QString();
}

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return QByteArray();
}

bool HttpRequest::keepAlive() const
{
    const QByteArray connection = header(QByteArrayLiteral("Connection")).toLower();
    if (version == "HTTP/1.0")
        return connection.contains("keep-alive");
    return !connection.contains("close");
}

QVector<QPair<QString, QString>> parseQuery(const QByteArray &query)
{
    QVector<QPair<QString, QString>> pairs;
    for (const QByteArray &part : query.split('&')) {
        if (part.isEmpty())
            continue;
        const int equals = part.indexOf('=');
        if (equals < 0)
            pairs.append(qMakePair(decode(part), QString()));
        else
            pairs.append(qMakePair(decode(part.left(equals)), decode(part.mid(equals + 1))));
    }
    return pairs;
}

HttpParse parseHttpRequest(const QByteArray &buffer, HttpRequest *request, int *consumed)
{
    // Blank lines before a request are allowed (robustness for clients that add a CRLF).
    int start = 0;
    while (start < buffer.size() && (buffer.at(start) == '\r' || buffer.at(start) == '\n'))
        ++start;
    const int headEnd = buffer.indexOf("\r\n\r\n", start);
    if (headEnd < 0)
        return buffer.size() - start > kMaxRequestHeadBytes ? HttpParse::TooLarge : HttpParse::Incomplete;
    if (headEnd - start > kMaxRequestHeadBytes)
        return HttpParse::TooLarge;

    const QList<QByteArray> lines = buffer.mid(start, headEnd - start).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !isToken(requestLine.at(0)) || !requestLine.at(2).startsWith("HTTP/1."))
        return HttpParse::Malformed;
    HttpRequest parsed;
    parsed.method = requestLine.at(0);
    parsed.target = requestLine.at(1);
    parsed.version = requestLine.at(2);
    if (parsed.target.isEmpty() || parsed.target.at(0) != '/')
        return HttpParse::Malformed;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return HttpParse::Malformed;
        parsed.headers.append(qMakePair(line.left(colon).trimmed(), line.mid(colon + 1).trimmed()));
    }

    const int question = parsed.target.indexOf('?');
    parsed.path = decode(question < 0 ? parsed.target : parsed.target.left(question));
    if (question >= 0)
        parsed.query = parseQuery(parsed.target.mid(question + 1));

    qint64 bodyLength = 0;
    const QByteArray lengthHeader = parsed.header(QByteArrayLiteral("Content-Length"));
    if (!lengthHeader.isEmpty()) {
        bool ok = false;
        bodyLength = lengthHeader.toLongLong(&ok);
        if (!ok || bodyLength < 0)
            return HttpParse::Malformed;
        if (bodyLength > kMaxRequestBodyBytes)
            return HttpParse::TooLarge;
    }
    if (!parsed.header(QByteArrayLiteral("Transfer-Encoding")).isEmpty())
        return HttpParse::Malformed; // requests to these devices carry no chunked bodies
    const qint64 total = qint64(headEnd) + 4 + bodyLength;
    if (total > buffer.size())
        return HttpParse::Incomplete;
    *request = parsed;
    *consumed = static_cast<int>(total);
    return HttpParse::Complete;
}

HttpReply HttpReply::text(const QByteArray &body, int status)
{
    HttpReply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return QByteArrayLiteral("OK");
    case 400:
        return QByteArrayLiteral("Bad Request");
    case 401:
        return QByteArrayLiteral("Unauthorized");
    case 404:
        return QByteArrayLiteral("Not Found");
    case 405:
        return QByteArrayLiteral("Method Not Allowed");
    case 413:
        return QByteArrayLiteral("Payload Too Large");
    case 431:
        return QByteArrayLiteral("Request Header Fields Too Large");
    case 500:
        return QByteArrayLiteral("Internal Server Error");
    default:
        return QByteArrayLiteral("Unknown");
    }
}

QByteArray replyHead(const HttpReply &reply, bool chunked, bool keepAlive)
{
    QByteArray head;
    head.reserve(256);
    // Clients compare the status line of a success byte for byte: "HTTP/1.1 200 OK".
    head += "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    head += "Server: lydevice-simulator\r\n";
    if (!reply.contentType.isEmpty())
        head += "Content-Type: " + reply.contentType + "\r\n";
    for (const auto &header : reply.headers)
        head += header.first + ": " + header.second + "\r\n";
    if (chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    head += keepAlive ? QByteArrayLiteral("Connection: keep-alive\r\n") : QByteArrayLiteral("Connection: close\r\n");
    head += "\r\n";
    return head;
}

QByteArray chunkedBody(const QByteArray &body, const QVector<int> &sizes, int *cursor, bool complete)
{
    QByteArray out;
    out.reserve(body.size() + body.size() / 8 + 16);
    int at = 0;
    while (at < body.size()) {
        int size = 1024;
        if (!sizes.isEmpty()) {
            const int index = (*cursor >= 0 ? *cursor : 0) % sizes.size();
            size = sizes.at(index);
            *cursor = index + 1;
        }
        size = qBound(1, size, body.size() - at);
        out += QByteArray::number(size, 16) + "\r\n";
        out.append(body.constData() + at, size);
        out += "\r\n";
        at += size;
    }
    if (complete) {
        out += "0\r\n\r\n";
        return out;
    }
    // Cut inside the second half, never at the very end, so that the cut is visible.
    return out.left(qMax(1, out.size() / 2 + out.size() / 4));
}

} // namespace lydevice::sim

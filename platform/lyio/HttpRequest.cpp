#include "HttpRequest.h"

#include <QHostAddress>

namespace lyio
{

namespace
{

    enum class Part { Path, Query };

    bool mustEncode(unsigned char byte, Part part)
    {
        if (byte <= 0x20 || byte >= 0x7F || byte == '#')
            return true;
        if (part == Part::Path)
            return byte == '?';
        return byte == '&' || byte == '=' || byte == '+';
    }

    QByteArray encode(const QString &text, Part part)
    {
        static const char hex[] = "0123456789ABCDEF";
        const QByteArray bytes = text.toUtf8();
        QByteArray out;
        out.reserve(bytes.size());
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if (mustEncode(byte, part)) {
                out.append('%');
                out.append(hex[byte >> 4]);
                out.append(hex[byte & 0x0F]);
            } else {
                out.append(c);
            }
        }
        return out;
    }

    // A method is sent only when it is a plain token; anything else would break the request line.
    bool isToken(const QByteArray &text)
    {
        if (text.isEmpty())
            return false;
        for (const char c : text) {
            const bool ok
                = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
            if (!ok)
                return false;
        }
        return true;
    }

    bool holdsLineBreak(const QByteArray &text)
    {
        return text.contains('\r') || text.contains('\n');
    }

} // namespace

QByteArray encodePath(const QString &text)
{
    return encode(text, Part::Path);
}

QByteArray encodeQueryPart(const QString &text)
{
    return encode(text, Part::Query);
}

QByteArray requestTarget(const TCPCommandDescriptor &command)
{
    QByteArray target = encodePath(command.path);
    if (!target.startsWith('/'))
        target.prepend('/');
    for (int i = 0; i < command.query.size(); ++i) {
        target.append(i == 0 ? '?' : '&');
        target.append(encodeQueryPart(command.query.at(i).first));
        target.append('=');
        target.append(encodeQueryPart(command.query.at(i).second));
    }
    return target;
}

QByteArray buildRequest(
    const TCPCommandDescriptor &command, const QByteArray &hostHeader, const QByteArray &authorization)
{
    const QByteArray method = command.method.toLatin1();
    QByteArray request;
    request.reserve(256);
    request += isToken(method) ? method : QByteArrayLiteral("GET");
    request += ' ';
    request += requestTarget(command);
    request += " HTTP/1.1\r\nHost: ";
    request += hostHeader;
    request += "\r\n";
    if (!authorization.isEmpty()) {
        request += "Authorization: ";
        request += authorization;
        request += "\r\n";
    }
    request += "Connection: keep-alive\r\n";
    for (const QString &header : command.headers) {
        const QByteArray line = header.toUtf8();
        if (line.isEmpty() || holdsLineBreak(line))
            continue;
        request += line;
        request += "\r\n";
    }
    if (!command.body.isEmpty()) {
        const QByteArray contentType = command.contentType.toUtf8();
        if (!contentType.isEmpty() && !holdsLineBreak(contentType)) {
            request += "Content-Type: ";
            request += contentType;
            request += "\r\n";
        }
        request += "Content-Length: ";
        request += QByteArray::number(command.body.size());
        request += "\r\n";
    }
    request += "\r\n";
    request += command.body;
    return request;
}

QByteArray hostHeaderValue(const QString &host, quint16 port)
{
    QByteArray value = host.toUtf8();
    QHostAddress address;
    if (address.setAddress(host) && address.protocol() == QAbstractSocket::IPv6Protocol)
        value = '[' + value + ']';
    if (port != 80)
        value += ':' + QByteArray::number(port);
    return value;
}

QByteArray basicAuthorization(const QString &user, const QString &password)
{
    if (user.isEmpty())
        return {};
    return QByteArrayLiteral("Basic ") + (user + QLatin1Char(':') + password).toUtf8().toBase64();
}

} // namespace lyio

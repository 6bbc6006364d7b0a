#pragma once

// HTTP/1.x as the simulator speaks it: reading requests from a connection's bytes and writing
// replies. Pure functions over bytes, with explicit limits.

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

namespace lydevice::sim
{

struct HttpRequest {
    QByteArray method;
    QByteArray target; // as sent
    QByteArray version; // "HTTP/1.0" or "HTTP/1.1"
    QString path; // decoded
    QVector<QPair<QString, QString>> query; // in order, keys and values percent-decoded as UTF-8
    QVector<QPair<QByteArray, QByteArray>> headers;

    bool hasQuery(const QString &key) const;
    QString queryValue(const QString &key) const;
    // Header value by case-insensitive name; empty when absent.
    QByteArray header(const QByteArray &name) const;
    // HTTP/1.1 keeps the connection unless "Connection: close"; HTTP/1.0 only with "keep-alive".
    bool keepAlive() const;
};

enum class HttpParse {
    Incomplete, // more bytes needed
    Complete,
    Malformed,
    TooLarge,
};

constexpr int kMaxRequestHeadBytes = 64 * 1024;
constexpr int kMaxRequestBodyBytes = 1024 * 1024;

// Reads one request from the start of `buffer`. On Complete, `consumed` is the number of bytes it
// took (head and any Content-Length body, which is skipped).
HttpParse parseHttpRequest(const QByteArray &buffer, HttpRequest *request, int *consumed);

// Splits "a=b&c=d" into decoded pairs; a part without "=" is a key with an empty value.
QVector<QPair<QString, QString>> parseQuery(const QByteArray &query);

struct HttpReply {
    int status = 200;
    QByteArray contentType = QByteArrayLiteral("text/plain");
    QVector<QPair<QByteArray, QByteArray>> headers; // extra headers
    QByteArray body;
    bool mayChunk = true; // false: always sent with Content-Length

    static HttpReply text(const QByteArray &body, int status = 200);
};

QByteArray reasonPhrase(int status);
// Status line and headers up to and including the empty line. With `chunked` the head announces
// "Transfer-Encoding: chunked", otherwise "Content-Length".
QByteArray replyHead(const HttpReply &reply, bool chunked, bool keepAlive);
// The body in chunked coding: chunk sizes are taken in turn from `sizes` starting at `*cursor`
// (which advances), written in lower-case hexadecimal without leading zeros, then the last chunk.
// With `complete` false the last chunk is left out and the body is cut inside its second half.
QByteArray chunkedBody(const QByteArray &body, const QVector<int> &sizes, int *cursor, bool complete = true);

} // namespace lydevice::sim

// The HTTP reply framer fed the same bytes whole and in pieces. The pieces (cut where a hash of the
// bytes says, sometimes byte by byte) must give the same outcome and the same reply, and a reply
// is only ever bytes that were given.

#include "HttpReplyFramer.h"

#include <QVector>

#include <algorithm>

namespace
{

using Status = lyio::HttpReplyFramer::Status;

// The outcome as one value: status, keep-alive, bytes after the reply (fed or not), the reply. A
// reply that is both malformed and over the limit fails either way, depending on where it was cut.
QByteArray frame(lyio::HttpReplyFramer &framer, const QByteArray &bytes, QVector<int> cuts)
{
    framer.reset();
    Status status = Status::Incomplete;
    int from = 0;
    for (const int cut : cuts << bytes.size()) {
        status = framer.feed(bytes.mid(from, cut - from));
        from = cut;
        if (status != Status::Incomplete)
            break;
    }
    if (status == Status::Incomplete)
        status = framer.finish();
    const bool excess = status == Status::Complete && (framer.hasExcess() || from < bytes.size());
    const bool keepAlive = framer.keepAlive();
    const QByteArray reply = framer.takeReply();
    Q_ASSERT(status == Status::Complete || reply.isEmpty());
    // Interim replies in front are dropped; what stays is given bytes, up to the excess.
    Q_ASSERT(excess ? bytes.contains(reply) : bytes.endsWith(reply));
    const bool failed = status == Status::Malformed || status == Status::TooLarge;
    return QByteArray::number(failed ? -1 : int(status)) + char('0' + keepAlive) + char('0' + excess) + reply;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    uint random = 2166136261u; // FNV-1a of the bytes: the same cuts with any Qt
    for (const char c : bytes)
        random = (random ^ uchar(c)) * 16777619u;
    const auto next = [&random]() { return (random = random * 1103515245u + 12345u) >> 16; };
    lyio::HttpReplyFramer framer(64 + next() % 8192);
    QVector<int> cuts;
    if (next() % 8 == 0) {
        for (int i = 1; i < bytes.size(); ++i)
            cuts.append(i);
    } else {
        for (uint n = next() % 8; n > 0; --n)
            cuts.append(int(next() % (bytes.size() + 1)));
        std::sort(cuts.begin(), cuts.end());
    }
    Q_ASSERT(frame(framer, bytes, {}) == frame(framer, bytes, cuts));
    return 0;
}

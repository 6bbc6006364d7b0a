// One raw device reply through every parser and reply reader: as an HTTP reply of each request
// that reads one, its text as a body, and as the JSON of a P2P reply. No reply may make a reader
// build more entries than the bound, and the readers that read the same text two ways must agree.

#include "parse/HttpReply.h"
#include "parse/ReplyParsers.h"
#include "protocol/CameraFiles.h"
#include "protocol/IpcProtocolIp.h"
#include "protocol/IpcProtocolP2p.h"
#include "protocol/NvrProtocolIp.h"
#include "protocol/NvrProtocolP2p.h"
#include "protocol/RecordReplyReading.h"
#include "protocol/ReplyLimits.h"

#include <QLoggingCategory>

namespace
{

using namespace lydevice;

void bounded(int entries)
{
    Q_ASSERT(entries >= 0 && entries <= maxEntriesPerReply);
}

QVariantList entries(const RecorderRecords &records)
{
    QVariantList entries = readerEntries(records);
    appendVideoEntries(records, entries);
    return entries;
}

void readRecorder(const RecorderReply &reply)
{
    bounded(reply.records.size());
    entries(reply.records);
    bounded(tagEntries(reply).size());
}

// Record replies have a one-pass reader beside the general one; where it reads a body at all, the
// counts, the handle and the records must be the general reading's.
void readRecords(const QByteArray &body)
{
    for (const auto keys : { RecordKeys::Exact, RecordKeys::Loose }) {
        const RecorderReply general = readRecordReply(body, keys);
        readRecorder(general);
        const auto fast = readRecordReplyFast(std::string_view(body.constData(), size_t(body.size())), keys);
        if (!fast)
            continue;
        Q_ASSERT(fast->count == general.count && fast->handle == general.handle && fast->total == general.total);
        Q_ASSERT(entries(fast->records) == entries(general.records));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool silent = (QLoggingCategory::setFilterRules(QStringLiteral("*=false")), true);
    Q_UNUSED(silent); // what fails is fatal
    const QByteArray raw(reinterpret_cast<const char *>(data), int(size));
    const QString text = QString::fromUtf8(raw);

    const QByteArray body = httpReplyBody(raw);
    Q_ASSERT(httpStatusCode(text) >= -1);
    Q_ASSERT(body.size() <= raw.size());
    for (const bool numeric : { false, true }) {
        Q_ASSERT(parseKeyValueHash(text, numeric) == parseKeyValueText(text, numeric).toVariantHash());
        Q_ASSERT(parseKeyValueText(text, numeric).keys() == parseKeyValueText(text, !numeric).keys());
        Q_ASSERT(parseOkLines(text, numeric).keys() == parseOkLines(text, !numeric).keys());
    }
    bounded(recordFileEntries(text).size());

    const QVector<QByteArray> replies { raw };
    readRecords(body.isEmpty() ? raw : body);
    readRecorder(NvrProtocolIp::recordReply(true, replies, RecordKeys::Loose));
    readRecorder(NvrProtocolIp::tagSearchReply(true, replies));
    readRecorder(NvrProtocolIp::tagPageReply(true, replies));
    NvrProtocolIp::openedPictureSearch(true, replies);
    NvrProtocolIp::pageEntries(true, replies);
    NvrProtocolIp::pictureBytes(true, replies);
    IpcProtocolIp::filePageCount(true, replies);
    if (const auto files = IpcProtocolIp::filePage(true, replies))
        bounded(files->size());
    IpcProtocolIp::openedPictureSearch(true, replies);
    IpcProtocolIp::pageEntries(true, replies);
    IpcProtocolIp::pictureBytes(true, replies);

    const QJsonObject json = parseJsonObject(text);
    using P2p = NvrProtocolP2p;
    readRecorder(P2p::recordReply(true, json, P2p::text("r.cnt"), P2p::text("r.sid"), P2p::number("r.allCnt")));
    readRecorder(P2p::recordReply(true, json, P2p::number("cnt"), P2p::number("sid"), P2p::text("allCnt")));
    P2p::refused(json);
    IpcProtocolP2p::wholePageCount(json);
    IpcProtocolP2p::truncatedPageCount(json);
    bounded(IpcProtocolP2p::filePage(json).size());
    return 0;
}

#include "protocol/RecordReplyReading.h"

#include "parse/HashAccess.h"
#include "parse/HttpReply.h"
#include "parse/RecordFormat.h"
#include "parse/ReplyParsers.h"
#include "protocol/ReplyLimits.h"

#include <QVarLengthArray>

#include <algorithm>

namespace lydevice
{

namespace
{

    constexpr std::string_view startKey = "startTime";
    constexpr std::string_view endKey = "endTime";
    constexpr std::string_view typeKey = "recordType";

    // The index after a record key's name in the general reading; -1 names no record.
    int keyIndex(QStringView rest, RecordKeys keys)
    {
        const bool digits
            = !rest.isEmpty() && std::all_of(rest.cbegin(), rest.cend(), [](QChar c) { return c.isDigit(); });
        bool ok = false;
        const int index = rest.toInt(&ok, 10);
        if (keys == RecordKeys::Exact) {
            const bool canonical = digits && ok && (rest.size() == 1 || rest.at(0) != u'0');
            return canonical ? index : -1;
        }
        // Text that is no number reads as record 0; a number too large for an index names none.
        if (ok)
            return index;
        return digits ? -1 : 0;
    }

    bool isDigit(char c)
    {
        return c >= '0' && c <= '9';
    }

    // Decimal digits without a leading zero (but "0"); their value when it fits 9 digits, else -1.
    bool plainIndex(std::string_view text, int *index)
    {
        if (text.empty() || !std::all_of(text.begin(), text.end(), isDigit) || (text.size() > 1 && text[0] == '0'))
            return false;
        *index = -1;
        if (text.size() <= 9) {
            *index = 0;
            for (const char c : text)
                *index = *index * 10 + (c - '0');
        }
        return true;
    }

    // A count, handle or type as the general reading takes it: the number the value reads as,
    // truncated toward zero; 0 for anything else.
    int numberOf(std::string_view value)
    {
        const bool negative = !value.empty() && value[0] == '-';
        const std::string_view digits = value.substr(negative ? 1 : 0);
        if (!digits.empty() && digits.size() <= 9 && std::all_of(digits.begin(), digits.end(), isDigit)) {
            int number = 0;
            for (const char c : digits)
                number = number * 10 + (c - '0');
            return negative ? -number : number;
        }
        return truncatedInt(QString::fromLatin1(value.data(), int(value.size())).toDouble());
    }

    // The digits at [from, from + count) of a text long enough; -1 unless all are digits.
    int digitsAt(std::string_view text, size_t from, size_t count)
    {
        int value = 0;
        for (const char c : text.substr(from, count)) {
            if (!isDigit(c))
                return -1;
            value = value * 10 + (c - '0');
        }
        return value;
    }

    // Read by hand as parseDeviceTime reads the usual form; anything else is kept as text for it.
    RecordTime timeOf(std::string_view value)
    {
        if (value.size() == 19 && value[4] == '-' && value[7] == '-' && value[10] == ' ' && value[13] == ':'
            && value[16] == ':') {
            const int year = digitsAt(value, 0, 4);
            const QDate date(year, digitsAt(value, 5, 2), digitsAt(value, 8, 2));
            const QTime time(digitsAt(value, 11, 2), digitsAt(value, 14, 2), digitsAt(value, 17, 2));
            if (year >= 0 && date.isValid() && time.isValid())
                return { true, date, time, QString() };
        }
        return { false, {}, {}, QString::fromLatin1(value.data(), int(value.size())) };
    }

    // Where the members of one record stand in the body; empty views for what the body did not name.
    struct RecordLines {
        std::optional<std::string_view> type;
        std::optional<std::string_view> start;
        std::optional<std::string_view> end;
    };

} // namespace

RecorderReply readRecordReply(const QByteArray &body, RecordKeys keys)
{
    RecorderReply reply;
    reply.values = parseKeyValueHash(replyText(body), true);
    reply.count = hashTruncated(reply.values, QStringLiteral("cnt"));
    reply.handle = hashTruncated(reply.values, QStringLiteral("sid"));
    reply.total = hashTruncated(reply.values, QStringLiteral("allCnt"));
    reply.records.resize(entryCount(reply.count));
    for (auto it = reply.values.cbegin(); it != reply.values.cend(); ++it) {
        const QString &key = it.key();
        const auto recordAfter = [&](std::string_view name) -> RecorderRecord * {
            if (!key.startsWith(QLatin1String(name.data(), int(name.size()))))
                return nullptr;
            const int index = keyIndex(QStringView(key).mid(int(name.size())), keys);
            return index >= 0 && index < reply.records.size() ? &reply.records[index] : nullptr;
        };
        if (RecorderRecord *record = recordAfter(startKey))
            record->start = RecordTime { false, {}, {}, it.value().toString() };
        else if (RecorderRecord *record = recordAfter(endKey))
            record->end = RecordTime { false, {}, {}, it.value().toString() };
        else if (RecorderRecord *record = recordAfter(typeKey))
            record->type = hashTruncated(reply.values, key);
    }
    return reply;
}

std::optional<RecorderReply> readRecordReplyFast(std::string_view body, RecordKeys keys)
{
    // The general reading decodes the body as a C string: a NUL byte ends it.
    body = body.substr(0, body.find('\0'));
    if (std::any_of(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return std::nullopt;
    std::optional<std::string_view> count, handle, total;
    // Members of records below maxEntriesPerReply; no count can ask for more.
    QVarLengthArray<RecordLines, 128> lines;
    size_t pos = 0;
    for (size_t lineEnd; (lineEnd = body.find('\n', pos)) != std::string_view::npos; pos = lineEnd + 1) {
        std::string_view line = body.substr(pos, lineEnd - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const size_t equals = line.find('=');
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
        if (line.find('\r') != std::string_view::npos || value.find('=') != std::string_view::npos)
            return std::nullopt;
        if (key == "cnt") {
            count = value;
        } else if (key == "sid") {
            handle = value;
        } else if (key == "allCnt") {
            total = value;
        } else {
            const std::string_view names[] = { typeKey, startKey, endKey };
            const auto name = std::find_if(
                std::begin(names), std::end(names), [&](std::string_view n) { return key.substr(0, n.size()) == n; });
            if (name == std::end(names))
                continue;
            int index = -1;
            if (!plainIndex(key.substr(name->size()), &index)) {
                if (keys == RecordKeys::Loose)
                    return std::nullopt; // "startTime07" or "startTimeX": an index the general reading decides
                continue;
            }
            if (index < 0 || index >= maxEntriesPerReply)
                continue;
            if (index >= lines.size())
                lines.resize(index + 1);
            RecordLines &record = lines[index];
            (name == std::begin(names) ? record.type : *name == startKey ? record.start : record.end) = value;
        }
    }
    // A pair that no line break ends was cut off and counts for nothing; a lone carriage return
    // would end one, which is the general reading's business.
    if (body.find('\r', pos) != std::string_view::npos)
        return std::nullopt;

    RecorderReply reply;
    reply.count = count ? numberOf(*count) : 0;
    reply.handle = handle ? numberOf(*handle) : 0;
    reply.total = total ? numberOf(*total) : 0;
    reply.records.resize(entryCount(reply.count));
    const int named = std::min(int(lines.size()), int(reply.records.size()));
    for (int i = 0; i < named; ++i) {
        const RecordLines &from = lines[i];
        RecorderRecord &record = reply.records[i];
        if (from.type)
            record.type = numberOf(*from.type);
        if (from.start)
            record.start = timeOf(*from.start);
        if (from.end)
            record.end = timeOf(*from.end);
    }
    return reply;
}

} // namespace lydevice

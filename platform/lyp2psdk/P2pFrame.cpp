#include "P2pFrame.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>

#include <algorithm>
#include <cmath>
#include <deque>
#include <string_view>
#include <vector>

namespace lyp2psdk
{

namespace
{

    // Qt's parser refuses deeper nesting itself.
    constexpr int MaxNesting = 1024;

    // A key written with escapes, decoded to UTF-8 the way the parser reads it, so that it compares
    // equal to the same key written without them ("\u0061" and "a").
    QByteArray decodedKey(const char *begin, const char *end)
    {
        QString key;
        for (const char *p = begin;;) {
            const char *slash = std::find(p, end, '\\');
            key += QString::fromUtf8(p, static_cast<int>(slash - p));
            if (end - slash < 2)
                break;
            p = slash + 2;
            switch (slash[1]) {
            case 'b':
                key += QLatin1Char('\b');
                break;
            case 'f':
                key += QLatin1Char('\f');
                break;
            case 'n':
                key += QLatin1Char('\n');
                break;
            case 'r':
                key += QLatin1Char('\r');
                break;
            case 't':
                key += QLatin1Char('\t');
                break;
            case 'u': {
                // A surrogate pair becomes one character again in toUtf8().
                const int digits = static_cast<int>(std::min<std::ptrdiff_t>(4, end - p));
                key += QChar(QByteArray(p, digits).toUShort(nullptr, 16));
                p += digits;
                break;
            }
            default: // '"', '\\' and '/'
                key += QLatin1Char(slash[1]);
                break;
            }
        }
        return key.toUtf8();
    }

    // Whether an object of the JSON text repeats a key, at any depth: one pass that follows strings
    // and nesting and keeps only the keys of the objects still open, each object's keys sorted
    // once when it closes. Text that is not JSON may give either answer: the parser refuses it,
    // and a refused text leaks nothing.
    bool repeatsKey(const QByteArray &json)
    {
        struct Open {
            bool object;
            bool keyNext; // the next string is a key
            size_t firstKey; // this object's keys are keys[firstKey...]
        };
        std::vector<Open> open;
        std::vector<std::string_view> keys;
        std::deque<QByteArray> decoded; // the keys that were written with escapes
        const char *const data = json.constData();
        const int size = json.size();
        for (int i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == '"') {
                const int start = i + 1;
                bool escaped = false;
                for (++i; i < size && data[i] != '"'; ++i) {
                    if (data[i] == '\\') {
                        escaped = true;
                        ++i;
                    }
                }
                if (i >= size)
                    return false;
                if (open.empty() || !open.back().keyNext)
                    continue;
                open.back().keyNext = false;
                if (escaped) {
                    decoded.push_back(decodedKey(data + start, data + i));
                    keys.emplace_back(decoded.back().constData(), decoded.back().size());
                } else {
                    keys.emplace_back(data + start, i - start);
                }
            } else if (c == '{' || c == '[') {
                if (open.size() == MaxNesting)
                    return false;
                open.push_back({ c == '{', c == '{', keys.size() });
            } else if (c == ',') {
                if (!open.empty())
                    open.back().keyNext = open.back().object;
            } else if (c == '}' || c == ']') {
                if (open.empty())
                    return false;
                const auto first = keys.begin() + static_cast<std::ptrdiff_t>(open.back().firstKey);
                std::sort(first, keys.end());
                if (std::adjacent_find(first, keys.end()) != keys.end())
                    return true;
                keys.erase(first, keys.end());
                open.pop_back();
            }
        }
        return false;
    }

} // namespace

QByteArray encodeRequestFrame(quint64 id, QLatin1String kind, int command, const QJsonObject &request)
{
    const QJsonObject frame {
        { QStringLiteral("id"), static_cast<double>(id) },
        { QStringLiteral("kind"), kind },
        { QStringLiteral("command"), command },
        { QStringLiteral("request"), request },
    };
    // Compact JSON escapes line breaks inside strings, so the frame is one line.
    return QJsonDocument(frame).toJson(QJsonDocument::Compact) + '\n';
}

ReplyFrame decodeReplyFrame(const QByteArray &line)
{
    ReplyFrame frame;
    if (repeatsKey(line)) {
        frame.kind = ReplyFrame::Kind::RepeatedKey;
        return frame;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return frame;
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id"));
    // Checked before any conversion: a fraction, a negative or a huge number is no id of ours.
    const double number = id.isDouble() ? id.toDouble() : -1.0;
    if (!(number >= 1.0 && number <= static_cast<double>(MaxFrameId) && std::floor(number) == number)) {
        frame.kind = ReplyFrame::Kind::NoId;
        return frame;
    }
    frame.id = static_cast<quint64>(number);
    const QJsonValue reply = object.value(QLatin1String("reply"));
    if (!reply.isObject()) {
        frame.kind = ReplyFrame::Kind::BadReply;
        return frame;
    }
    frame.kind = ReplyFrame::Kind::Reply;
    frame.reply = reply.toObject();
    return frame;
}

} // namespace lyp2psdk

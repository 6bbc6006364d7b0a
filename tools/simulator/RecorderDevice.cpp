#include "RecorderDevice.h"

#include "WallTime.h"

#include <QUrl>

namespace lydevice::sim
{

namespace
{
    const QByteArray errorBody = QByteArrayLiteral("res=-1\r\ncnt=0\r\n");
    constexpr int kMaxClosesPerRequest = 64;

    void appendPair(QByteArray &out, const char *key, const QByteArray &value)
    {
        out += key;
        out += '=';
        out += value;
        out += "\r\n";
    }

    void appendIndexed(QByteArray &out, const char *key, int index)
    {
        out += key;
        out += QByteArray::number(index);
        out += '=';
    }

    int toInt(const QString &text, int fallback)
    {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        return ok ? value : fallback;
    }

    bool readSpan(const QString &start, const QString &end, qint64 *from, qint64 *to)
    {
        return walltime::parse(start, from) && walltime::parse(end, to);
    }

    QString recordKey(int index, const char *field)
    {
        return QStringLiteral("r[%1].").arg(index) + QLatin1String(field);
    }
} // namespace

RecorderDevice::RecorderDevice(const Catalogue &catalogue, DeviceBooks &books, const SimulatorOptions &options)
    : catalogue(catalogue)
    , books(books)
    , options(options)
    , nextHandle(100 + static_cast<int>(options.seed % 900))
{
}

QString RecorderDevice::linkKind() const
{
    return QStringLiteral("nvr");
}

QString RecorderDevice::httpRequestKind(const HttpRequest &request) const
{
    if (request.path == QLatin1String("/sdk.cgi"))
        return request.queryValue(QStringLiteral("action"));
    return request.path;
}

RecorderDevice::Page RecorderDevice::openSearch(HandleKind kind, const Listing &listing, int pageSize)
{
    Page page;
    page.valid = true;
    page.total = listing.size();
    page.listing = listing;
    pageSize = qBound(1, pageSize, 10000);
    page.count = qMin(pageSize, page.total);
    if (page.total == 0)
        return page;
    if (nextHandle >= 2000000000)
        nextHandle = 100;
    page.sid = nextHandle++;
    searches.insert(page.sid, Search { kind, listing, pageSize });
    books.opened(kind, page.sid);
    return page;
}

RecorderDevice::Page RecorderDevice::searchPage(HandleKind kind, int sid, int number)
{
    Page page;
    const auto it = searches.constFind(sid);
    if (it == searches.constEnd() || it->kind != kind)
        return page;
    books.paged(kind, sid);
    page.valid = true;
    page.sid = sid;
    page.listing = it->listing;
    page.total = it->listing.size();
    if (number < 1 || qint64(number - 1) * it->pageSize >= page.total)
        return page; // beyond the end: an empty page
    page.offset = (number - 1) * it->pageSize;
    page.count = qMin(it->pageSize, page.total - page.offset);
    return page;
}

bool RecorderDevice::closeSearch(HandleKind kind, int sid)
{
    const auto it = searches.find(sid);
    if (it == searches.end() || it->kind != kind) {
        books.closed(kind, sid); // counted as a stray close
        return false;
    }
    searches.erase(it);
    books.closed(kind, sid);
    return true;
}

RecorderDevice::Page RecorderDevice::openRecordInfo(int channel, const QString &start, const QString &end)
{
    qint64 from, to;
    if (!readSpan(start, end, &from, &to))
        return Page();
    return openSearch(
        HandleKind::PlaybackSession, catalogue.recordInfoListing(channel, from, to), options.recordInfoPageSize);
}

RecorderDevice::Page RecorderDevice::openEvents(
    const QString &mask, int event, int subType, const QString &start, const QString &end)
{
    qint64 from, to;
    if (!readSpan(start, end, &from, &to))
        return Page();
    return openSearch(HandleKind::EventSearch,
        catalogue.eventListing(Catalogue::parseChannelMask(mask), event, subType, from, to),
        options.eventPageSize);
}

RecorderDevice::Page RecorderDevice::openTags(const QString &mask, const QString &start, const QString &end)
{
    qint64 from, to;
    if (!readSpan(start, end, &from, &to))
        return Page();
    return openSearch(
        HandleKind::TagSearch, catalogue.tagListing(Catalogue::parseChannelMask(mask), from, to), options.tagPageSize);
}

RecorderDevice::Page RecorderDevice::openPictures(
    const QString &mask, int majorType, const QString &start, const QString &end)
{
    qint64 from, to;
    if (!readSpan(start, end, &from, &to))
        return Page();
    return openSearch(HandleKind::PictureSearch,
        catalogue.recorderPictureListing(Catalogue::parseChannelMask(mask), majorType, from, to),
        options.recorderPicturePageSize);
}

// ---- HTTP

HttpReply RecorderDevice::answerHttp(const HttpRequest &request)
{
    if (request.path != QLatin1String("/sdk.cgi"))
        return HttpReply::text(QByteArrayLiteral("not found\r\n"), 404);
    const QString action = request.queryValue(QStringLiteral("action"));
    const auto value = [&request](const char *key) { return request.queryValue(QLatin1String(key)); };

    if (action == QLatin1String("get.playback.recordinfo")) {
        const Page page = openRecordInfo(toInt(value("chnid"), -1), value("startTime"), value("endTime"));
        return HttpReply::text(httpOpened(page, HandleKind::PlaybackSession));
    }
    if (action == QLatin1String("get.playback.recordinfo_page")) {
        const Page page = searchPage(HandleKind::PlaybackSession, toInt(value("sid"), -1), toInt(value("page"), 0));
        return HttpReply::text(httpPage(page, HandleKind::PlaybackSession));
    }
    if (action == QLatin1String("get.playback.evt_backup_search")) {
        const Page page = openEvents(value("chnmaskl"),
            toInt(value("event"), 0),
            toInt(value("subType"), 0),
            value("startTime"),
            value("endTime"));
        return HttpReply::text(httpOpened(page, HandleKind::EventSearch));
    }
    if (action == QLatin1String("get.playback.evt_backup_search_page")) {
        const Page page = searchPage(HandleKind::EventSearch, toInt(value("sid"), -1), toInt(value("page"), 0));
        return HttpReply::text(httpPage(page, HandleKind::EventSearch));
    }
    if (action == QLatin1String("get.playback.evt_backup_search_close"))
        return HttpReply::text(httpClose(request, HandleKind::EventSearch, QString(), QStringLiteral("sid")));
    if (action == QLatin1String("get.playback.tags_search_open")) {
        const Page page = openTags(value("chnMaskl"), value("startTime"), value("endTime"));
        return HttpReply::text(httpOpened(page, HandleKind::TagSearch));
    }
    if (action == QLatin1String("get.playback.tags_search_page")) {
        const Page page = searchPage(HandleKind::TagSearch, toInt(value("sid"), -1), toInt(value("npage"), 0));
        return HttpReply::text(httpPage(page, HandleKind::TagSearch));
    }
    if (action == QLatin1String("get.playback.tags_search_close"))
        return HttpReply::text(
            httpClose(request, HandleKind::TagSearch, QStringLiteral("cnt"), QStringLiteral("sid%1")));
    if (action == QLatin1String("get.playback.picture_backup_search_open")) {
        const Page page
            = openPictures(value("mask"), toInt(value("majorType"), 0), value("startTime"), value("endTime"));
        return HttpReply::text(httpOpened(page, HandleKind::PictureSearch));
    }
    if (action == QLatin1String("get.playback.picture_backup_search_page")) {
        const Page page = searchPage(HandleKind::PictureSearch, toInt(value("sid"), -1), toInt(value("page"), 0));
        return HttpReply::text(httpPage(page, HandleKind::PictureSearch));
    }
    if (action == QLatin1String("get.playback.picture_backup_search_index"))
        return HttpReply::text(httpPictureIndex(request));
    if (action == QLatin1String("get.playback.picture_backup_search_close"))
        return HttpReply::text(httpClose(request, HandleKind::PictureSearch, QString(), QStringLiteral("sid")));
    if (action == QLatin1String("set.playback.stop_batch"))
        return HttpReply::text(
            httpClose(request, HandleKind::PlaybackSession, QStringLiteral("cnt"), QStringLiteral("sid[%1]")));
    return HttpReply::text(QByteArrayLiteral("res=-1\r\nerror=unknown action\r\n"), 404);
}

QByteArray RecorderDevice::httpOpened(const Page &page, HandleKind kind) const
{
    if (!page.valid)
        return errorBody;
    QByteArray out;
    out.reserve(64 + page.count * 112);
    appendPair(out, "res", "0");
    appendPair(out, "sid", QByteArray::number(page.sid));
    appendPair(out, "cnt", QByteArray::number(page.count));
    appendPair(out, "allCnt", QByteArray::number(page.total));
    appendHttpItems(out, page, kind);
    return out;
}

QByteArray RecorderDevice::httpPage(const Page &page, HandleKind kind) const
{
    if (!page.valid)
        return errorBody;
    QByteArray out;
    out.reserve(32 + page.count * 112);
    appendPair(out, "res", "0");
    appendPair(out, "cnt", QByteArray::number(page.count));
    appendHttpItems(out, page, kind);
    return out;
}

void RecorderDevice::appendHttpItems(QByteArray &out, const Page &page, HandleKind kind) const
{
    int i = 0;
    if (kind == HandleKind::TagSearch) {
        page.listing.visit(page.offset, page.count, [&](int channel, int, int index) {
            const Tag tag = catalogue.tag(channel, index);
            appendIndexed(out, "chnid", i);
            out += QByteArray::number(tag.channel) + "\r\n";
            appendIndexed(out, "id", i);
            out += QByteArray::number(tag.id) + "\r\n";
            appendIndexed(out, "index", i);
            out += QByteArray::number(tag.index) + "\r\n";
            appendIndexed(out, "name", i);
            out += QUrl::toPercentEncoding(tag.name) + "\r\n";
            appendIndexed(out, "time", i);
            walltime::appendDashed(out, tag.timeSeconds);
            out += "\r\n";
            ++i;
        });
        return;
    }
    if (kind == HandleKind::PictureSearch) {
        page.listing.visit(page.offset, page.count, [&](int channel, int type, int index) {
            const Picture picture = catalogue.picture(channel, static_cast<PictureType>(type), index);
            appendIndexed(out, "pts", i);
            out += picture.name.toLatin1() + "\r\n";
            appendIndexed(out, "pTime", i);
            walltime::appendDashed(out, picture.timeSeconds);
            out += "\r\n";
            appendIndexed(out, "chnid", i);
            out += QByteArray::number(picture.channel) + "\r\n";
            ++i;
        });
        return;
    }
    page.listing.visit(page.offset, page.count, [&](int channel, int type, int index) {
        const Recording record = catalogue.recording(channel, static_cast<RecordType>(type), index);
        appendIndexed(out, "startTime", i);
        walltime::appendDashed(out, record.startSeconds);
        out += "\r\n";
        appendIndexed(out, "endTime", i);
        walltime::appendDashed(out, record.endSeconds);
        out += "\r\n";
        appendIndexed(out, "recordType", i);
        out += QByteArray::number(record.recorderCode()) + "\r\n";
        appendIndexed(out, "chnid", i);
        out += QByteArray::number(record.channel) + "\r\n";
        ++i;
    });
}

QByteArray RecorderDevice::httpPictureIndex(const HttpRequest &request)
{
    const int sid = toInt(request.queryValue(QStringLiteral("sid")), -1);
    const auto it = searches.constFind(sid);
    if (it == searches.constEnd() || it->kind != HandleKind::PictureSearch)
        return errorBody;
    Picture picture;
    const int channel = toInt(request.queryValue(QStringLiteral("chnid")), -1);
    if (!catalogue.findPicture(request.queryValue(QStringLiteral("pts")), channel, &picture))
        return errorBody;
    const QByteArray jpeg = catalogue.jpeg(picture);
    QByteArray out;
    appendPair(out, "res", "0");
    appendPair(out, "chnid", QByteArray::number(picture.channel));
    appendPair(out, "pts", picture.name.toLatin1());
    appendPair(out, "size", QByteArray::number(jpeg.size()));
    // The data comes last: a client takes everything after "data=" as the picture.
    appendPair(out, "data", jpeg.toBase64());
    return out;
}

QByteArray RecorderDevice::httpClose(
    const HttpRequest &request, HandleKind kind, const QString &countKey, const QString &sidPattern)
{
    const int count = countKey.isEmpty() ? 1 : qBound(0, toInt(request.queryValue(countKey), 0), kMaxClosesPerRequest);
    int closedCount = 0;
    for (int i = 0; i < count; ++i) {
        const QString key = sidPattern.contains(QLatin1String("%1")) ? sidPattern.arg(i) : sidPattern;
        if (closeSearch(kind, toInt(request.queryValue(key), -1)))
            ++closedCount;
    }
    QByteArray out;
    appendPair(out, "res", closedCount == count && count > 0 ? "0" : "-1");
    appendPair(out, "cnt", QByteArray::number(closedCount));
    return out;
}

// ---- link

QJsonObject RecorderDevice::answerLink(int command, const QJsonObject &request)
{
    const auto text = [&request](const char *key) { return linkText(request.value(QLatin1String(key))); };
    const auto number
        = [&request](const char *key, int fallback) { return linkInt(request.value(QLatin1String(key)), fallback); };
    QJsonObject reply;
    reply.insert(QStringLiteral("res"), QStringLiteral("0"));
    const QJsonObject error { { QStringLiteral("res"), QStringLiteral("-1") } };

    switch (command) {
    case 25: { // record info
        const Page page = openRecordInfo(number("r.chnid", -1), text("r.startTime"), text("r.endTime"));
        if (!page.valid)
            return error;
        reply.insert(QStringLiteral("sid"), QString::number(page.sid));
        reply.insert(QStringLiteral("cnt"), QString::number(page.count));
        reply.insert(QStringLiteral("allCnt"), QString::number(page.total));
        addLinkRecords(reply, page);
        return reply;
    }
    case 26: { // record-info page
        const Page page = searchPage(HandleKind::PlaybackSession, number("r.sid", -1), number("r.page", 0));
        if (!page.valid)
            return error;
        reply.insert(QStringLiteral("cnt"), QString::number(page.count));
        addLinkRecords(reply, page);
        return reply;
    }
    case 17: // session stop
        return linkClose(request, HandleKind::PlaybackSession, QStringLiteral("r.cnt"), QStringLiteral("r.sid[%1]"));
    case 27: { // event search
        const Page page = openEvents(
            text("r.chnmaskl"), number("r.event", 0), number("r.subType", 0), text("r.startTime"), text("r.endTime"));
        if (!page.valid)
            return error;
        reply.insert(QStringLiteral("r.sid"), QString::number(page.sid));
        reply.insert(QStringLiteral("r.cnt"), QString::number(page.count));
        reply.insert(QStringLiteral("r.allCnt"), QString::number(page.total));
        addLinkRecords(reply, page);
        return reply;
    }
    case 28: { // event page
        const Page page = searchPage(HandleKind::EventSearch, number("r.sid", -1), number("r.page", 0));
        if (!page.valid)
            return error;
        reply.insert(QStringLiteral("r.cnt"), page.count);
        addLinkRecords(reply, page);
        return reply;
    }
    case 18: // event close
        return linkClose(request, HandleKind::EventSearch, QString(), QStringLiteral("r.sid"));
    case 29: { // tag search
        const Page page = openTags(text("chnMaskl"), text("startTime"), text("endTime"));
        if (!page.valid)
            return error;
        reply.insert(QStringLiteral("sid"), page.sid);
        reply.insert(QStringLiteral("cnt"), QString::number(page.count));
        reply.insert(QStringLiteral("allCnt"), page.total);
        addLinkTags(reply, page);
        return reply;
    }
    case 31: { // tag page
        const Page page = searchPage(HandleKind::TagSearch, number("sid", -1), number("npage", 0));
        if (!page.valid)
            return error;
        reply.insert(QStringLiteral("cnt"), page.count);
        addLinkTags(reply, page);
        return reply;
    }
    case 30: // tag close
        return linkClose(request, HandleKind::TagSearch, QStringLiteral("cnt"), QStringLiteral("sid%1"));
    default: {
        QJsonObject unknown = error;
        unknown.insert(QStringLiteral("error"), QStringLiteral("unknown command"));
        return unknown;
    }
    }
}

void RecorderDevice::addLinkRecords(QJsonObject &reply, const Page &page) const
{
    int i = 0;
    page.listing.visit(page.offset, page.count, [&](int channel, int type, int index) {
        const Recording record = catalogue.recording(channel, static_cast<RecordType>(type), index);
        reply.insert(recordKey(i, "startTime"), walltime::dashed(record.startSeconds));
        reply.insert(recordKey(i, "endTime"), walltime::dashed(record.endSeconds));
        reply.insert(recordKey(i, "recordType"), QString::number(record.recorderCode()));
        reply.insert(recordKey(i, "chnid"), QString::number(record.channel));
        ++i;
    });
}

void RecorderDevice::addLinkTags(QJsonObject &reply, const Page &page) const
{
    int i = 0;
    page.listing.visit(page.offset, page.count, [&](int channel, int, int index) {
        const Tag tag = catalogue.tag(channel, index);
        const QString n = QString::number(i);
        reply.insert(QStringLiteral("chnid") + n, QString::number(tag.channel));
        reply.insert(QStringLiteral("id") + n, QString::number(tag.id));
        reply.insert(QStringLiteral("index") + n, QString::number(tag.index));
        reply.insert(QStringLiteral("name") + n, QString::fromLatin1(QUrl::toPercentEncoding(tag.name)));
        reply.insert(QStringLiteral("time") + n, walltime::dashed(tag.timeSeconds));
        ++i;
    });
}

QJsonObject RecorderDevice::linkClose(
    const QJsonObject &request, HandleKind kind, const QString &countKey, const QString &sidPattern)
{
    const int count = countKey.isEmpty() ? 1 : qBound(0, linkInt(request.value(countKey), 0), kMaxClosesPerRequest);
    int closedCount = 0;
    for (int i = 0; i < count; ++i) {
        const QString key = sidPattern.contains(QLatin1String("%1")) ? sidPattern.arg(i) : sidPattern;
        if (closeSearch(kind, linkInt(request.value(key), -1)))
            ++closedCount;
    }
    return QJsonObject { { QStringLiteral("res"),
        closedCount == count && count > 0 ? QStringLiteral("0") : QStringLiteral("-1") } };
}

} // namespace lydevice::sim

#include "CameraDevice.h"

#include "WallTime.h"

#include <QJsonArray>

namespace lydevice::sim
{

namespace
{
    constexpr int kMaxSessions = 10;
    constexpr int kMaxRememberedSpans = 256;
    constexpr int kMaxRowsPerPage = 100;

    int toInt(const QString &text, int fallback)
    {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        return ok ? value : fallback;
    }

    void appendJsonString(QByteArray &out, const QString &text)
    {
        out += '"';
        for (const QChar c : text) {
            const ushort u = c.unicode();
            if (u == '"' || u == '\\') {
                out += '\\';
                out += static_cast<char>(u);
            } else if (u < 0x20) {
                out += "\\u00";
                out += QByteArray::number(u, 16).rightJustified(2, '0');
            } else {
                out += QString(c).toUtf8();
            }
        }
        out += '"';
    }

    bool readTimeObject(const QJsonValue &value, qint64 *seconds)
    {
        const QJsonObject object = value.toObject();
        const int year = linkInt(object.value(QLatin1String("year")), -1);
        const int month = linkInt(object.value(QLatin1String("month")), -1);
        const int day = linkInt(object.value(QLatin1String("day")), -1);
        const int hour = linkInt(object.value(QLatin1String("hour")), -1);
        const int minute = linkInt(object.value(QLatin1String("minute")), -1);
        const int second = linkInt(object.value(QLatin1String("second")), -1);
        if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23
            || minute < 0 || minute > 59 || second < 0 || second > 59)
            return false;
        // Days beyond the month's end come back as another date.
        const qint64 candidate = walltime::fromCivil(year, month, day, hour, minute, second);
        int y, mo, d, h, mi, sec;
        walltime::toCivil(candidate, &y, &mo, &d, &h, &mi, &sec);
        if (y != year || mo != month || d != day)
            return false;
        *seconds = candidate;
        return true;
    }
} // namespace

CameraDevice::CameraDevice(const Catalogue &catalogue, DeviceBooks &books, const SimulatorOptions &options)
    : catalogue(catalogue)
    , books(books)
    , options(options)
{
}

QString CameraDevice::linkKind() const
{
    return QStringLiteral("ipc");
}

QString CameraDevice::httpRequestKind(const HttpRequest &request) const
{
    if (request.path == QLatin1String("/dataloader.cgi"))
        return QStringLiteral("dataloader");
    if (request.path == QLatin1String("/vb.htm")) {
        if (request.queryValue(QStringLiteral("page")) == QLatin1String("sdexplorer"))
            return QStringLiteral("sdexplorer");
        for (const char *key : { "closelyfshandle", "PBFileTotalPage", "PBFilePageIndex" }) {
            if (request.hasQuery(QLatin1String(key)))
                return QLatin1String(key);
        }
    }
    return request.path;
}

HttpReply CameraDevice::answerHttp(const HttpRequest &request)
{
    const QString kind = httpRequestKind(request);
    if (kind == QLatin1String("PBFileTotalPage"))
        return pageCount(request);
    if (kind == QLatin1String("PBFilePageIndex"))
        return filePage(request);
    if (kind == QLatin1String("sdexplorer"))
        return pictureList(request);
    if (kind == QLatin1String("closelyfshandle"))
        return closeSession(request);
    if (kind == QLatin1String("dataloader"))
        return download(request);
    if (request.path == QLatin1String("/vb.htm"))
        return HttpReply::text(QByteArrayLiteral("NG unknown request\r\n"));
    return HttpReply::text(QByteArrayLiteral("not found\r\n"), 404);
}

int CameraDevice::pagesOf(const Listing &listing) const
{
    const int perPage = qBound(1, options.cameraFilesPerPage, 1000);
    return (listing.size() + perPage - 1) / perPage;
}

QByteArray CameraDevice::fileList(const Listing &listing, int page) const
{
    const int perPage = qBound(1, options.cameraFilesPerPage, 1000);
    QByteArray out;
    if (page < 1 || qint64(page - 1) * perPage >= listing.size())
        return out;
    listing.visit((page - 1) * perPage, perPage, [&](int channel, int type, int index) {
        out += catalogue.recording(channel, static_cast<RecordType>(type), index).cameraFileString().toLatin1();
        out += ';';
    });
    return out;
}

HttpReply CameraDevice::pageCount(const HttpRequest &request)
{
    qint64 from, to;
    if (!walltime::parse(request.queryValue(QStringLiteral("PBStartTimePos")), &from)
        || !walltime::parse(request.queryValue(QStringLiteral("PBEndTimePos")), &to))
        return HttpReply::text(QByteArrayLiteral("OK pbfiletotalpage=0\r\n"));
    const int mask = qMax(0, toInt(request.queryValue(QStringLiteral("PBFileTotalPage")), 0));
    if (spanMasks.size() >= kMaxRememberedSpans)
        spanMasks.clear();
    spanMasks.insert(qMakePair(from, to), mask);
    const Listing listing = catalogue.cameraFileListing(mask, from, to);
    return HttpReply::text("OK pbfiletotalpage=" + QByteArray::number(pagesOf(listing)) + "\r\n");
}

HttpReply CameraDevice::filePage(const HttpRequest &request)
{
    qint64 from, to;
    QByteArray files;
    if (walltime::parse(request.queryValue(QStringLiteral("PBStartTimePos")), &from)
        && walltime::parse(request.queryValue(QStringLiteral("PBEndTimePos")), &to)) {
        const int mask = spanMasks.value(qMakePair(from, to), 0);
        files = fileList(catalogue.cameraFileListing(mask, from, to),
            toInt(request.queryValue(QStringLiteral("PBFilePageIndex")), 0));
    }
    return HttpReply::text("OK pbfilepageindex=" + files + "\r\n");
}

CameraDevice::Session *CameraDevice::findSession(int id, const QString &uuid)
{
    for (Session &session : sessions) {
        if (session.id == id && session.uuid == uuid)
            return &session;
    }
    return nullptr;
}

QString CameraDevice::makeUuid()
{
    // Seeded and counted, so that two equal simulators hand out the same uuids.
    quint64 a = options.seed * 0x9e3779b97f4a7c15ULL + (++uuidCounter) * 0xbf58476d1ce4e5b9ULL;
    a ^= a >> 29;
    quint64 b = a * 0x94d049bb133111ebULL;
    b ^= b >> 31;
    const QString hex = QStringLiteral("%1%2").arg(a, 16, 16, QLatin1Char('0')).arg(b, 16, 16, QLatin1Char('0'));
    return hex.mid(0, 8) + QLatin1Char('-') + hex.mid(8, 4) + QLatin1Char('-') + hex.mid(12, 4) + QLatin1Char('-')
        + hex.mid(16, 4) + QLatin1Char('-') + hex.mid(20, 12);
}

// Under the lowest free digit; null when none is free, the camera being out of handles.
const CameraDevice::Session *CameraDevice::openSession(const Listing &listing)
{
    for (int candidate = 1; candidate <= kMaxSessions; ++candidate) {
        const int digit = candidate % kMaxSessions;
        bool used = false;
        for (const Session &open : sessions)
            used = used || open.id == digit;
        if (!used) {
            sessions.append(Session { digit, makeUuid(), listing });
            books.opened(HandleKind::CameraFileSearch, digit, sessions.last().uuid);
            return &sessions.last();
        }
    }
    return nullptr;
}

HttpReply CameraDevice::pictureList(const HttpRequest &request)
{
    const int first = qMax(0, toInt(request.queryValue(QStringLiteral("iDisplayStart")), 0));
    const int length = qBound(1, toInt(request.queryValue(QStringLiteral("iDisplayLength")), 30), kMaxRowsPerPage);
    Listing listing;
    const Session *session = nullptr;
    if (request.hasQuery(QStringLiteral("sid"))) {
        const int id = toInt(request.queryValue(QStringLiteral("sid")), -1);
        session = findSession(id, request.queryValue(QStringLiteral("uuid")));
        if (session) {
            books.paged(HandleKind::CameraFileSearch, id);
            listing = session->listing;
        }
    } else {
        qint64 from, to;
        if (walltime::parse(request.queryValue(QStringLiteral("time_start")), &from)
            && walltime::parse(request.queryValue(QStringLiteral("time_end")), &to)) {
            const int subtype = toInt(request.queryValue(QStringLiteral("subtype")), -1);
            listing = catalogue.cameraPictureListing(subtype, from, to);
        }
        if (listing.size() > 0 && request.queryValue(QStringLiteral("use_sid")) == QLatin1String("1")) {
            session = openSession(listing);
            if (!session)
                listing = Listing();
        }
    }

    const QByteArray sessionColumn
        = session ? QByteArray::number(session->id) + '&' + session->uuid.toLatin1() : QByteArray();
    QByteArray out;
    out.reserve(128 + length * 160);
    out += "{\"sEcho\": ,\"iTotalRecords\":" + QByteArray::number(listing.size())
        + ",\"iTotalDisplayRecords\":" + QByteArray::number(listing.size()) + ",\"aaData\":[";
    bool firstRow = true;
    listing.visit(first, length, [&](int channel, int type, int index) {
        const Picture picture = catalogue.picture(channel, static_cast<PictureType>(type), index);
        if (!firstRow)
            out += ',';
        firstRow = false;
        out += '[';
        appendJsonString(out, picture.name);
        out += ",\"";
        walltime::appendDashed(out, picture.timeSeconds);
        out += "\",\"" + QByteArray::number(cameraPictureSubtype(picture.type)) + "\",\""
            + QByteArray::number(picture.channel) + "\",\"jpg\",\"" + sessionColumn + "\",";
        appendJsonString(out, QLatin1String("/mnt/sd/picture/") + picture.name);
        out += ']';
    });
    out += "]}";
    HttpReply reply = HttpReply::text(out);
    reply.contentType = QByteArrayLiteral("application/json");
    return reply;
}

HttpReply CameraDevice::closeSession(const HttpRequest &request)
{
    const QString value = request.queryValue(QStringLiteral("closelyfshandle"));
    const int separator = value.indexOf(QLatin1Char(';'));
    const int id = separator > 0 ? toInt(value.left(separator), -1) : -1;
    const QString uuid = separator > 0 ? value.mid(separator + 1) : QString();
    for (int i = 0; i < sessions.size(); ++i) {
        if (sessions.at(i).id == id && sessions.at(i).uuid == uuid) {
            sessions.remove(i);
            books.closed(HandleKind::CameraFileSearch, id);
            return HttpReply::text("OK closelyfshandle=" + value.toUtf8() + "\r\n");
        }
    }
    books.stray(HandleKind::CameraFileSearch, id);
    return HttpReply::text(QByteArrayLiteral("NG closelyfshandle\r\n"));
}

HttpReply CameraDevice::download(const HttpRequest &request)
{
    const HttpReply missing = HttpReply::text(QByteArrayLiteral("not found\r\n"), 404);
    const Session *session
        = findSession(toInt(request.queryValue(QStringLiteral("sid")), -1), request.queryValue(QStringLiteral("uuid")));
    if (!session)
        return missing;
    const QString name = request.queryValue(QStringLiteral("filename"));
    Picture picture;
    if (!catalogue.findPicture(name, 0, &picture))
        return missing;
    const QVector<Picture> atIndex
        = catalogue.pictures(session->listing, toInt(request.queryValue(QStringLiteral("index")), -1), 1);
    if (atIndex.size() != 1 || atIndex.first().name != name)
        return missing;
    HttpReply reply;
    reply.contentType = QByteArrayLiteral("image/jpeg");
    reply.headers.append(qMakePair(
        QByteArrayLiteral("Content-Disposition"), QByteArrayLiteral("attachment; filename=") + name.toLatin1()));
    reply.body = catalogue.jpeg(picture);
    reply.mayChunk = false; // clients cut this reply apart themselves
    return reply;
}

QJsonObject CameraDevice::answerLink(int command, const QJsonObject &request)
{
    qint64 from = 0, to = 0;
    const bool span = readTimeObject(request.value(QLatin1String("start_time")), &from)
        && readTimeObject(request.value(QLatin1String("end_time")), &to);
    if (command == 9) {
        const Listing listing = span ? catalogue.cameraFileListing(0, from, to) : Listing();
        return QJsonObject { { QStringLiteral("total_page"), pagesOf(listing) },
            { QStringLiteral("total_file"), listing.size() } };
    }
    if (command == 55) {
        const int mask = qMax(0, linkInt(request.value(QLatin1String("type")), 0));
        const Listing listing = span ? catalogue.cameraFileListing(mask, from, to) : Listing();
        const int page = linkInt(request.value(QLatin1String("page")), 0);
        QJsonArray files;
        const QByteArray list = fileList(listing, page);
        for (const QByteArray &file : list.split(';')) {
            if (!file.isEmpty())
                files.append(QString::fromLatin1(file));
        }
        return QJsonObject { { QStringLiteral("page"), page },
            { QStringLiteral("total_page"), pagesOf(listing) },
            { QStringLiteral("file_list"), files } };
    }
    return QJsonObject { { QStringLiteral("res"), QStringLiteral("-1") },
        { QStringLiteral("error"), QStringLiteral("unknown command") } };
}

} // namespace lydevice::sim

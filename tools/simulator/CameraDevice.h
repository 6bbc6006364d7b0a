#pragma once

#include "Catalogue.h"
#include "DeviceBooks.h"
#include "DeviceLogic.h"
#include "Listing.h"
#include "SimulatorOptions.h"

#include <QHash>
#include <QPair>

namespace lydevice::sim
{

// An IP camera: "/vb.htm" and "/dataloader.cgi" over HTTP and the "ipc" commands over the link.
//
// Record files. "PBFileTotalPage" (with "PBStartTimePos", "PBEndTimePos" as "yyyyMMddHHmmss")
// answers "OK pbfiletotalpage=<pages>"; "PBFilePageIndex" (page from 1, same span) answers
// "OK pbfilepageindex=" with the page's file strings, each followed by ";". The page count uses
// the type mask of the request; pages use the mask of the last count query of the same span (see
// SimulatorOptions.h). Commands 9 and 55 answer {"total_page", "total_file"} and
// {"page", "total_page", "file_list"}, all counts numbers.
//
// Pictures. "/vb.htm" with "page" = "sdexplorer" lists pictures from "iDisplayStart", at most
// "iDisplayLength" (up to 100) of them, as the JSON object that begins with the valueless member
// {"sEcho": , then "iTotalRecords", "iTotalDisplayRecords" and "aaData" (rows of 7 strings: file
// name, "yyyy-MM-dd HH:mm:ss", picture type, channel, "jpg", "<id>&<uuid>", path). A query with
// "use_sid" = 1 and no "sid" opens a file-search session when it finds pictures; the session id
// is one digit, so at most ten are open at once (an eleventh query finds nothing). A query with
// "sid" and "uuid" pages within that session ("iTotalRecords" 0 when it is not open).
// "closelyfshandle" = "<id>;<uuid>" closes it. "/dataloader.cgi" ("filename", "index", "sid",
// "uuid") sends the picture with "Content-Disposition: attachment; filename=<name>", always with
// Content-Length; 404 when the session is not open or the picture at "index" of the session is not
// the named one.
class CameraDevice : public DeviceLogic
{
public:
    CameraDevice(const Catalogue &catalogue, DeviceBooks &books, const SimulatorOptions &options);

    QString linkKind() const override;
    QString httpRequestKind(const HttpRequest &request) const override;
    HttpReply answerHttp(const HttpRequest &request) override;
    QJsonObject answerLink(int command, const QJsonObject &request) override;

private:
    struct Session {
        int id = 0;
        QString uuid;
        Listing listing;
    };

    HttpReply pageCount(const HttpRequest &request);
    HttpReply filePage(const HttpRequest &request);
    HttpReply pictureList(const HttpRequest &request);
    HttpReply closeSession(const HttpRequest &request);
    HttpReply download(const HttpRequest &request);
    QByteArray fileList(const Listing &listing, int page) const;
    int pagesOf(const Listing &listing) const;
    Session *findSession(int id, const QString &uuid);
    const Session *openSession(const Listing &listing);
    QString makeUuid();

    const Catalogue &catalogue;
    DeviceBooks &books;
    const SimulatorOptions &options;
    QVector<Session> sessions;
    QHash<QPair<qint64, qint64>, int> spanMasks; // span of a count query -> its type mask
    quint64 uuidCounter = 0;
};

} // namespace lydevice::sim

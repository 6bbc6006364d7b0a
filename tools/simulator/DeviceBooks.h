#pragma once

#include <QHash>
#include <QJsonObject>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QVector>

namespace lydevice::sim
{

// What a device keeps open for a client between requests.
enum class HandleKind {
    PlaybackSession, // recorder: opened by a record-info search, closed by a session stop
    EventSearch, // recorder: "evt_backup_search" / command 27, closed by its close / command 18
    TagSearch, // recorder: "tags_search_open" / command 29, closed by its close / command 30
    PictureSearch, // recorder: "picture_backup_search_open", closed by its close
    CameraFileSearch, // camera: the "sdexplorer" search session, closed by "closelyfshandle"
};

struct HandleRecord {
    HandleKind kind = HandleKind::PlaybackSession;
    int id = 0;
    QString uuid; // camera sessions only
    bool open = true;
    int pagesServed = 0; // page requests answered within the handle
};

// One request as the device received it and how it was answered.
struct RequestRecord {
    bool overLink = false; // false: HTTP; true: the P2P link
    QString kind; // as FaultRule::match names it
    QString path; // HTTP path; empty over the link
    QVector<QPair<QString, QString>> query; // HTTP query, decoded
    QJsonObject request; // link request object
    int status = 0; // HTTP status sent; 0 over the link; -1 when nothing (or only part) was sent
    QString fault; // the injected fault, if any

    QString value(const QString &key) const;
};

// The device's books: every handle opened, paged and closed, every request received. A test asks
// openHandles() after a client is done to see that the client closed everything it opened.
class DeviceBooks
{
public:
    explicit DeviceBooks(int requestLogLimit = 100000);

    void opened(HandleKind kind, int id, const QString &uuid = QString());
    // A page served within the handle; false when it is not open.
    bool paged(HandleKind kind, int id);
    // false when the handle is not open (never opened, or closed before): counted as a stray close.
    bool closed(HandleKind kind, int id);
    // A close request that names no open handle (for instance a stale uuid): counted as a stray close.
    void stray(HandleKind kind, int id);
    bool isOpen(HandleKind kind, int id) const;

    QVector<HandleRecord> handles() const;
    QVector<HandleRecord> openHandles() const;
    QVector<HandleRecord> openHandles(HandleKind kind) const;
    // Close requests for handles that were not open, as "<kind name> <id>".
    QStringList strayCloses() const;

    void logRequest(const RequestRecord &record);
    const QVector<RequestRecord> &requests() const;
    QVector<RequestRecord> requests(const QString &kind) const;
    int requestCount(const QString &kind = QString()) const;
    void clearRequests();

    static QString kindName(HandleKind kind);

private:
    QVector<HandleRecord> records;
    QHash<QPair<int, int>, int> index; // (kind, id) -> position in records of the latest handle
    QStringList strays;
    QVector<RequestRecord> log;
    QHash<QString, int> counts;
    int total = 0;
    int logLimit;
};

} // namespace lydevice::sim

Q_DECLARE_METATYPE(lydevice::sim::RequestRecord)

#include "DeviceBooks.h"

namespace lydevice::sim
{

namespace
{
    QPair<int, int> key(HandleKind kind, int id)
    {
        return qMakePair(static_cast<int>(kind), id);
    }
} // namespace

QString RequestRecord::value(const QString &name) const
{
    for (const auto &pair : query) {
        if (pair.first == name)
            return pair.second;
    }
    const QJsonValue member = request.value(name);
    if (member.isString())
        return member.toString();
    if (member.isDouble())
        return QString::number(member.toDouble(), 'g', 17);
    return QString();
}

DeviceBooks::DeviceBooks(int requestLogLimit)
    : logLimit(qMax(0, requestLogLimit))
{
}

void DeviceBooks::opened(HandleKind kind, int id, const QString &uuid)
{
    HandleRecord record;
    record.kind = kind;
    record.id = id;
    record.uuid = uuid;
    index.insert(key(kind, id), records.size());
    records.append(record);
}

bool DeviceBooks::paged(HandleKind kind, int id)
{
    const int at = index.value(key(kind, id), -1);
    if (at < 0 || !records[at].open)
        return false;
    ++records[at].pagesServed;
    return true;
}

bool DeviceBooks::closed(HandleKind kind, int id)
{
    const int at = index.value(key(kind, id), -1);
    if (at < 0 || !records[at].open) {
        stray(kind, id);
        return false;
    }
    records[at].open = false;
    return true;
}

void DeviceBooks::stray(HandleKind kind, int id)
{
    strays.append(kindName(kind) + QLatin1Char(' ') + QString::number(id));
}

bool DeviceBooks::isOpen(HandleKind kind, int id) const
{
    const int at = index.value(key(kind, id), -1);
    return at >= 0 && records[at].open;
}

QVector<HandleRecord> DeviceBooks::handles() const
{
    return records;
}

QVector<HandleRecord> DeviceBooks::openHandles() const
{
    QVector<HandleRecord> open;
    for (const HandleRecord &record : records) {
        if (record.open)
            open.append(record);
    }
    return open;
}

QVector<HandleRecord> DeviceBooks::openHandles(HandleKind kind) const
{
    QVector<HandleRecord> open;
    for (const HandleRecord &record : records) {
        if (record.open && record.kind == kind)
            open.append(record);
    }
    return open;
}

QStringList DeviceBooks::strayCloses() const
{
    return strays;
}

void DeviceBooks::logRequest(const RequestRecord &record)
{
    ++total;
    ++counts[record.kind];
    if (logLimit == 0)
        return;
    // Dropping a quarter at a time keeps a full log cheap to append to.
    if (log.size() >= logLimit)
        log.remove(0, qMin(log.size(), qMax(1, logLimit / 4)));
    log.append(record);
}

const QVector<RequestRecord> &DeviceBooks::requests() const
{
    return log;
}

QVector<RequestRecord> DeviceBooks::requests(const QString &kind) const
{
    QVector<RequestRecord> matching;
    for (const RequestRecord &record : log) {
        if (record.kind == kind)
            matching.append(record);
    }
    return matching;
}

int DeviceBooks::requestCount(const QString &kind) const
{
    return kind.isEmpty() ? total : counts.value(kind);
}

void DeviceBooks::clearRequests()
{
    log.clear();
    counts.clear();
    total = 0;
}

QString DeviceBooks::kindName(HandleKind kind)
{
    switch (kind) {
    case HandleKind::PlaybackSession:
        return QStringLiteral("playback-session");
    case HandleKind::EventSearch:
        return QStringLiteral("event-search");
    case HandleKind::TagSearch:
        return QStringLiteral("tag-search");
    case HandleKind::PictureSearch:
        return QStringLiteral("picture-search");
    case HandleKind::CameraFileSearch:
        return QStringLiteral("camera-file-search");
    }
    return QString();
}

} // namespace lydevice::sim

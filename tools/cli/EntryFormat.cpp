#include "EntryFormat.h"

#include <algorithm>

namespace entryformat
{

QString dateTimeText(const QDateTime &time)
{
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("-");
}

QJsonValue dateTimeJson(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))) : QJsonValue();
}

QString durationText(qint64 seconds)
{
    if (seconds < 0)
        return QStringLiteral("-");
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString elapsedText(qint64 milliseconds)
{
    return QStringLiteral("%1 s").arg(static_cast<double>(qMax<qint64>(milliseconds, 0)) / 1000.0, 0, 'f', 2);
}

qint64 entrySeconds(const QVariantHash &entry)
{
    const QDateTime start = entry.value(QStringLiteral("start")).toDateTime();
    const QDateTime end = entry.value(QStringLiteral("end")).toDateTime();
    if (!start.isValid() || !end.isValid())
        return -1;
    return start.secsTo(end);
}

QStringList typeNames(bool video)
{
    return QString::fromLatin1(video ? "all general alarm motion smart sensor tag" : "snapshot alarm all")
        .split(QLatin1Char(' '));
}

QString recordKindText(const QVariantHash &entry)
{
    if (entry.contains(QStringLiteral("type")))
        return QStringLiteral("type %1").arg(entry.value(QStringLiteral("type")).toInt());
    if (entry.value(QStringLiteral("isAnr")).toBool())
        return QStringLiteral("anr");
    if (entry.value(QStringLiteral("isEvent")).toBool())
        return QStringLiteral("event");
    return QStringLiteral("general");
}

QJsonValue jsonValue(const QVariant &value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::QDateTime:
        return dateTimeJson(value.toDateTime());
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return QJsonValue(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QVariantHash:
    case QMetaType::QVariantMap:
        return jsonEntry(value);
    case QMetaType::QVariantList:
        return jsonEntries(value.toList());
    default:
        return QJsonValue::fromVariant(value);
    }
}

QJsonObject jsonEntry(const QVariant &entry)
{
    QJsonObject object;
    const QVariantHash hash = entry.toHash();
    for (auto it = hash.constBegin(); it != hash.constEnd(); ++it)
        object.insert(it.key(), jsonValue(it.value()));
    return object;
}

QJsonArray jsonEntries(const QList<QVariant> &entries)
{
    QJsonArray array;
    for (const QVariant &entry : entries)
        array.append(jsonEntry(entry));
    return array;
}

void appendIntervals(const QList<QVariant> &entries, QVector<Interval> *intervals)
{
    for (const QVariant &value : entries) {
        const QVariantHash entry = value.toHash();
        const QDateTime start = entry.value(QStringLiteral("start")).toDateTime();
        const QDateTime end = entry.value(QStringLiteral("end")).toDateTime();
        if (!start.isValid() || !end.isValid() || end < start)
            continue;
        intervals->append(Interval { start.toMSecsSinceEpoch(), end.toMSecsSinceEpoch() });
    }
}

Coverage coverage(QVector<Interval> intervals, const QDateTime &from, const QDateTime &to)
{
    Coverage result;
    const qint64 low = from.toMSecsSinceEpoch();
    const qint64 high = to.toMSecsSinceEpoch();
    result.spanSeconds = qMax<qint64>(0, (high - low) / 1000);
    std::sort(
        intervals.begin(), intervals.end(), [](const Interval &a, const Interval &b) { return a.start < b.start; });
    qint64 covered = 0;
    qint64 runStart = 0, runEnd = 0;
    bool inRun = false;
    qint64 first = 0, last = 0;
    bool any = false;
    for (const Interval &interval : qAsConst(intervals)) {
        const qint64 start = qMax(interval.start, low);
        const qint64 end = qMin(interval.end, high);
        if (end < start)
            continue; // outside the span
        if (!any) {
            first = start;
            last = end;
            any = true;
        }
        last = qMax(last, end);
        if (inRun && start <= runEnd) {
            runEnd = qMax(runEnd, end);
            continue;
        }
        if (inRun)
            covered += runEnd - runStart;
        runStart = start;
        runEnd = end;
        inRun = true;
    }
    if (inRun)
        covered += runEnd - runStart;
    result.coveredSeconds = covered / 1000;
    if (any) {
        result.first = QDateTime::fromMSecsSinceEpoch(first);
        result.last = QDateTime::fromMSecsSinceEpoch(last);
    }
    return result;
}

QString coverageText(const Coverage &coverage)
{
    if (!coverage.first.isValid())
        return QStringLiteral("they cover none of the %1 searched").arg(durationText(coverage.spanSeconds));
    const double percent = coverage.spanSeconds > 0
        ? 100.0 * static_cast<double>(coverage.coveredSeconds) / static_cast<double>(coverage.spanSeconds)
        : 0.0;
    return QStringLiteral("they cover %1 of the %2 searched (%3%), from %4 to %5")
        .arg(durationText(coverage.coveredSeconds), durationText(coverage.spanSeconds))
        .arg(percent, 0, 'f', 1)
        .arg(dateTimeText(coverage.first), dateTimeText(coverage.last));
}

} // namespace entryformat

#include "CatalogueEntries.h"

#include <QStringList>

#include <algorithm>

namespace lydevice::e2e
{

namespace
{
    QString describe(const QVariant &value)
    {
        if (value.userType() == QMetaType::QDateTime) {
            const QDateTime time = value.toDateTime();
            return time.isValid() ? time.toString(Qt::ISODate) : QStringLiteral("<invalid time>");
        }
        if (value.userType() == QMetaType::QVariantHash) {
            const QVariantHash hash = value.toHash();
            QStringList keys = hash.keys();
            std::sort(keys.begin(), keys.end());
            QStringList members;
            for (const QString &key : keys)
                members.append(key + QLatin1Char('=') + describe(hash.value(key)));
            return QLatin1Char('{') + members.join(QStringLiteral(", ")) + QLatin1Char('}');
        }
        return value.toString() + QLatin1Char('(') + QLatin1String(value.typeName()) + QLatin1Char(')');
    }

    bool sameEntry(const QVariant &actual, const QVariant &expected)
    {
        if (actual.userType() != QMetaType::QVariantHash)
            return false;
        const QVariantHash got = actual.toHash(), want = expected.toHash();
        if (got.size() != want.size())
            return false;
        for (auto it = want.cbegin(); it != want.cend(); ++it) {
            const auto found = got.constFind(it.key());
            // Types as the caller reads them: an int must be an int, a time a valid equal time.
            if (found == got.cend() || found->userType() != it->userType() || *found != *it)
                return false;
        }
        return true;
    }
} // namespace

QVariantList videoSearchEntries(const QVector<sim::Recording> &recordings, sim::DeviceKind kind)
{
    QVariantList entries;
    for (const sim::Recording &recording : recordings) {
        const int type = kind == sim::DeviceKind::Camera ? recording.cameraDigit() : recording.recorderCode();
        entries.append(QVariantHash { { QStringLiteral("type"), type },
            { QStringLiteral("start"), recording.start() },
            { QStringLiteral("end"), recording.end() } });
    }
    return entries;
}

QVariantList recorderReadingEntries(const QVector<sim::Recording> &recordings)
{
    QVariantList entries;
    for (const sim::Recording &recording : recordings) {
        const int code = recording.recorderCode();
        entries.append(QVariantHash { { QStringLiteral("start"), recording.start() },
            { QStringLiteral("end"), recording.end() },
            { QStringLiteral("isAnr"), code == 16 },
            { QStringLiteral("isEvent"), code != 16 && code != 1 } });
    }
    return entries;
}

QVariantList tagEntries(const QVector<sim::Tag> &tags)
{
    QVariantList entries;
    for (const sim::Tag &tag : tags)
        entries.append(QVariantHash { { QStringLiteral("chnid"), tag.channel },
            { QStringLiteral("id"), tag.id },
            { QStringLiteral("index"), tag.index },
            { QStringLiteral("name"), tag.name },
            { QStringLiteral("time"), tag.time() } });
    return entries;
}

QVariantList pictureEntries(const QVector<sim::Picture> &pictures, sim::DeviceKind kind)
{
    QVariantList entries;
    for (const sim::Picture &picture : pictures) {
        QVariantHash entry { { QStringLiteral("name"), picture.name }, { QStringLiteral("time"), picture.time() } };
        if (kind == sim::DeviceKind::Recorder)
            entry.insert(QStringLiteral("channel"), picture.channel);
        entries.append(entry);
    }
    return entries;
}

QVector<QVariantList> pages(const QVariantList &entries, int size)
{
    QVector<QVariantList> result;
    for (int offset = 0; size > 0 && offset < entries.size(); offset += size)
        result.append(entries.mid(offset, size));
    return result;
}

QString firstDifference(const QVariantList &actual, const QVariantList &expected)
{
    const int common = std::min(actual.size(), expected.size());
    for (int i = 0; i < common; ++i) {
        if (!sameEntry(actual.at(i), expected.at(i)))
            return QStringLiteral("entry %1 of %2: got %3, want %4")
                .arg(i)
                .arg(expected.size())
                .arg(describe(actual.at(i)), describe(expected.at(i)));
    }
    if (actual.size() != expected.size())
        return QStringLiteral("got %1 entries, want %2; first extra or missing: %3")
            .arg(actual.size())
            .arg(expected.size())
            .arg(describe(actual.size() > common ? actual.at(common) : expected.at(common)));
    return QString();
}

} // namespace lydevice::e2e

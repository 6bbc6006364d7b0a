#include "HashAccess.h"

#include <QMetaType>
#include <QVariant>

#include <climits>
#include <cmath>
#include <cstring>

namespace lydevice
{

namespace
{

    // Rounds like QVariant::toInt does for doubles, but gives 0 where that conversion would be
    // undefined (not finite, or outside 32 bits).
    int roundedInt(double value)
    {
        if (!(value > -2147483649.0 && value < 2147483648.0))
            return 0;
        const qint64 rounded = qRound64(value);
        return rounded >= INT_MIN && rounded <= INT_MAX ? int(rounded) : 0;
    }

} // namespace

int hashInt(const QVariantHash &hash, const QString &key)
{
    const QVariant value = hash.value(key);
    const int type = value.userType();
    // The library's enumerations travel in their own meta-types. Their storage is a qint32, which
    // we read directly instead of relying on QVariant's enum conversion.
    const QMetaType meta(type);
    if (type >= QMetaType::User && (meta.flags() & QMetaType::IsEnumeration) && meta.sizeOf() == int(sizeof(qint32))) {
        qint32 number = 0;
        std::memcpy(&number, value.constData(), sizeof number);
        return number;
    }
    switch (type) {
    case QMetaType::Double:
    case QMetaType::Float:
        return roundedInt(value.toDouble());
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        return number <= qulonglong(INT_MAX) ? int(number) : 0;
    }
    default: {
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        return ok && number >= INT_MIN && number <= INT_MAX ? int(number) : 0;
    }
    }
}

QString hashString(const QVariantHash &hash, const QString &key)
{
    return hash.value(key).toString();
}

double hashDouble(const QVariantHash &hash, const QString &key)
{
    return hash.value(key).toDouble();
}

QDateTime hashDateTime(const QVariantHash &hash, const QString &key)
{
    return hash.value(key).toDateTime();
}

QVariantList hashList(const QVariantHash &hash, const QString &key)
{
    return variantList(hash.value(key));
}

QVariantList variantList(const QVariant &value)
{
    const int type = value.userType();
    return type == QMetaType::QVariantList || type == QMetaType::QStringList ? value.toList() : QVariantList();
}

QImage hashImage(const QVariantHash &hash, const QString &key)
{
    // The stored image, what the value converts to, or a null image.
    return hash.value(key).value<QImage>();
}

int hashTruncated(const QVariantHash &hash, const QString &key)
{
    return truncatedInt(hash.value(key));
}

int truncatedInt(const QVariant &value)
{
    const double truncated = std::trunc(value.toDouble());
    if (!(truncated >= double(INT_MIN) && truncated <= double(INT_MAX)))
        return 0;
    return int(truncated);
}

int hashTextInt(const QVariantHash &hash, const QString &key)
{
    return hashString(hash, key).toInt(nullptr, 10);
}

} // namespace lydevice

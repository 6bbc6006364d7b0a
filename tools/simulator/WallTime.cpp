#include "WallTime.h"

namespace lydevice::sim::walltime
{

namespace
{
    // Days from 1970-01-01 to the civil date, and back (proleptic Gregorian calendar).
    qint64 daysFromCivil(qint64 y, int m, int d)
    {
        y -= m <= 2 ? 1 : 0;
        const qint64 era = (y >= 0 ? y : y - 399) / 400;
        const qint64 yoe = y - era * 400;
        const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe - 719468;
    }

    void civilFromDays(qint64 z, int *year, int *month, int *day)
    {
        z += 719468;
        const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
        const qint64 doe = z - era * 146097;
        const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const qint64 mp = (5 * doy + 2) / 153;
        const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
        *month = m;
        *day = d;
    }

    qint64 floorDiv(qint64 a, qint64 b)
    {
        return a >= 0 ? a / b : -((-a + b - 1) / b);
    }

    void appendDigits(QByteArray &out, int value, int width)
    {
        char buffer[8];
        for (int i = width - 1; i >= 0; --i) {
            buffer[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        out.append(buffer, width);
    }

    // Reads `count` decimal digits of `text` from `at`; -1 when one of them is no digit.
    int digitsAt(const QString &text, int at, int count)
    {
        if (at < 0 || count <= 0 || at + count > text.size())
            return -1;
        int value = 0;
        for (int i = at; i < at + count; ++i) {
            const QChar c = text.at(i);
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return -1;
            value = value * 10 + (c.unicode() - '0');
        }
        return value;
    }

    bool isLeap(int year)
    {
        return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    }

    int daysInMonth(int year, int month)
    {
        static const int days[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
        return month == 2 && isLeap(year) ? 29 : days[month - 1];
    }
} // namespace

qint64 fromCivil(int year, int month, int day, int hour, int minute, int second)
{
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

void toCivil(qint64 seconds, int *year, int *month, int *day, int *hour, int *minute, int *second)
{
    const qint64 days = floorDiv(seconds, 86400);
    const int rest = static_cast<int>(seconds - days * 86400);
    civilFromDays(days, year, month, day);
    *hour = rest / 3600;
    *minute = rest / 60 % 60;
    *second = rest % 60;
}

qint64 fromDateTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return 0;
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    return fromCivil(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second());
}

QDateTime toDateTime(qint64 seconds)
{
    int year, month, day, hour, minute, second;
    toCivil(seconds, &year, &month, &day, &hour, &minute, &second);
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime);
}

bool parse(const QString &input, qint64 *seconds)
{
    QString text = input.trimmed();
    text.replace(QLatin1String("%20"), QLatin1String(" "));
    int year, month, day, hour, minute, second;
    if (text.size() == 14) {
        year = digitsAt(text, 0, 4);
        month = digitsAt(text, 4, 2);
        day = digitsAt(text, 6, 2);
        hour = digitsAt(text, 8, 2);
        minute = digitsAt(text, 10, 2);
        second = digitsAt(text, 12, 2);
    } else if (text.size() == 19 && text.at(4) == QLatin1Char('-') && text.at(7) == QLatin1Char('-')
        && (text.at(10) == QLatin1Char(' ') || text.at(10) == QLatin1Char('T')) && text.at(13) == QLatin1Char(':')
        && text.at(16) == QLatin1Char(':')) {
        year = digitsAt(text, 0, 4);
        month = digitsAt(text, 5, 2);
        day = digitsAt(text, 8, 2);
        hour = digitsAt(text, 11, 2);
        minute = digitsAt(text, 14, 2);
        second = digitsAt(text, 17, 2);
    } else {
        return false;
    }
    if (year < 1 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 || minute > 59
        || second < 0 || second > 59 || day > daysInMonth(year, month))
        return false;
    *seconds = fromCivil(year, month, day, hour, minute, second);
    return true;
}

void appendDashed(QByteArray &out, qint64 seconds)
{
    int year, month, day, hour, minute, second;
    toCivil(seconds, &year, &month, &day, &hour, &minute, &second);
    appendDigits(out, qBound(0, year, 9999), 4);
    out.append('-');
    appendDigits(out, month, 2);
    out.append('-');
    appendDigits(out, day, 2);
    out.append(' ');
    appendDigits(out, hour, 2);
    out.append(':');
    appendDigits(out, minute, 2);
    out.append(':');
    appendDigits(out, second, 2);
}

void appendCompact(QByteArray &out, qint64 seconds)
{
    int year, month, day, hour, minute, second;
    toCivil(seconds, &year, &month, &day, &hour, &minute, &second);
    appendDigits(out, qBound(0, year, 9999), 4);
    appendDigits(out, month, 2);
    appendDigits(out, day, 2);
    appendDigits(out, hour, 2);
    appendDigits(out, minute, 2);
    appendDigits(out, second, 2);
}

QString dashed(qint64 seconds)
{
    QByteArray out;
    appendDashed(out, seconds);
    return QString::fromLatin1(out);
}

QString compact(qint64 seconds)
{
    QByteArray out;
    appendCompact(out, seconds);
    return QString::fromLatin1(out);
}

} // namespace lydevice::sim::walltime

#include "LogTally.h"

#include <QHash>
#include <QRegularExpression>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace
{

struct Tally {
    std::mutex lock;
    bool echo = false;
    qint64 warnings = 0;
    qint64 others = 0;
    QHash<QString, qint64> byText; // warnings and worse
};

Tally &tally()
{
    static Tally instance;
    return instance;
}

void countMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    Tally &t = tally();
    const bool warning = type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg;
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    const QString shape = warning ? QString(message).replace(digits, QStringLiteral("N")).left(100) : QString();
    const std::lock_guard<std::mutex> hold(t.lock);
    if (t.echo)
        std::fprintf(stderr, "%s\n", qPrintable(message));
    if (!warning) {
        ++t.others;
        return;
    }
    ++t.warnings;
    ++t.byText[shape];
}

} // namespace

void LogTally::install(bool echo)
{
    tally().echo = echo;
    qInstallMessageHandler(countMessage);
}

QString LogTally::summary(int top)
{
    Tally &t = tally();
    const std::lock_guard<std::mutex> hold(t.lock);
    QVector<QPair<qint64, QString>> frequent;
    for (auto it = t.byText.cbegin(); it != t.byText.cend(); ++it)
        frequent.append(qMakePair(it.value(), it.key()));
    std::sort(frequent.begin(), frequent.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QString text = QStringLiteral("%1 warnings, %2 other messages").arg(t.warnings).arg(t.others);
    for (int i = 0; i < frequent.size() && i < top; ++i)
        text += QStringLiteral("\n  %1  %2").arg(frequent.at(i).first, 9).arg(frequent.at(i).second);
    return text;
}

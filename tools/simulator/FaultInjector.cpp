#include "FaultInjector.h"

#include <QStringList>

namespace lydevice::sim
{

void FaultInjector::add(const FaultRule &rule)
{
    if (rule.count != 0)
        rules.append(rule);
}

void FaultInjector::clear()
{
    rules.clear();
}

FaultDecision FaultInjector::take(const QString &requestKind)
{
    FaultDecision decision;
    for (FaultRule &rule : rules) {
        if (rule.count == 0)
            continue;
        if (rule.match != QLatin1String("*") && rule.match != requestKind)
            continue;
        if (rule.kind == FaultKind::Delay) {
            // Bounded so that a sum of rules cannot overflow the timer's int.
            decision.delayMs = qBound(0, decision.delayMs + qBound(0, rule.delayMs, 3600000), 3600000);
        } else if (!decision.faulty) {
            decision.faulty = true;
            decision.kind = rule.kind;
        } else {
            continue; // a second deciding rule keeps its count for a later request
        }
        if (rule.count > 0)
            --rule.count;
    }
    return decision;
}

int FaultInjector::armedCount() const
{
    int armed = 0;
    for (const FaultRule &rule : rules) {
        if (rule.count != 0)
            ++armed;
    }
    return armed;
}

namespace
{
    struct KindName {
        FaultKind kind;
        const char *name;
    };
    const KindName kindNames[] = {
        { FaultKind::Delay, "delay" },
        { FaultKind::Status500, "status500" },
        { FaultKind::Drop, "drop" },
        { FaultKind::Malformed, "malformed" },
        { FaultKind::TruncatedChunked, "truncated" },
    };
} // namespace

QString FaultInjector::kindName(FaultKind kind)
{
    for (const KindName &entry : kindNames) {
        if (entry.kind == kind)
            return QLatin1String(entry.name);
    }
    return QString();
}

bool FaultInjector::kindFromName(const QString &name, FaultKind *kind)
{
    for (const KindName &entry : kindNames) {
        if (name == QLatin1String(entry.name)) {
            *kind = entry.kind;
            return true;
        }
    }
    return false;
}

bool FaultInjector::ruleFromText(const QString &text, FaultRule *rule)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 4 || !kindFromName(parts.at(0), &rule->kind) || parts.at(1).isEmpty())
        return false;
    rule->match = parts.at(1);
    bool ok = true;
    if (parts.size() > 2)
        rule->count = parts.at(2).toInt(&ok);
    if (ok && parts.size() > 3)
        rule->delayMs = parts.at(3).toInt(&ok);
    return ok;
}

} // namespace lydevice::sim

#pragma once

#include <QString>
#include <QVector>

namespace lydevice::sim
{

// What goes wrong with a request.
enum class FaultKind {
    Delay, // the answer comes `delayMs` later (and is computed then)
    Status500, // HTTP: "500 Internal Server Error"; link: the reply {"res": "-1"}
    Drop, // HTTP: the connection is closed without an answer; link: the link is closed
    Malformed, // HTTP: a "200 OK" whose body is in no format the client reads; link: a reply
               // frame whose "reply" is not an object
    TruncatedChunked, // HTTP: a chunked answer cut off before its last chunk, then the connection
                      // closes; link: half a reply frame, then the link closes
};

// One armed fault. `match` names the requests it applies to:
// - "/sdk.cgi": the "action" value ("get.playback.recordinfo", "set.playback.stop_batch", ...);
// - "/vb.htm": "PBFileTotalPage", "PBFilePageIndex", "sdexplorer" or "closelyfshandle";
// - "/dataloader.cgi": "dataloader";
// - the link: "nvr." or "ipc." followed by the command value ("nvr.27", "ipc.9");
// - "*": every request.
// `count` limits the fault to the next `count` matching requests; a negative count never runs out.
struct FaultRule {
    QString match;
    FaultKind kind = FaultKind::Delay;
    int delayMs = 0;
    int count = -1;
};

// What to do with one request: wait `delayMs`, then answer normally or apply `kind`.
struct FaultDecision {
    int delayMs = 0;
    bool faulty = false;
    FaultKind kind = FaultKind::Delay;
};

// The armed faults of one simulator. Every matching Delay rule adds its delay; the first matching
// rule of another kind decides the answer. Each rule that takes part uses up one of its count.
class FaultInjector
{
public:
    void add(const FaultRule &rule);
    void clear();
    FaultDecision take(const QString &requestKind);
    // Rules that can still fire.
    int armedCount() const;

    static QString kindName(FaultKind kind);
    static bool kindFromName(const QString &name, FaultKind *kind);
    // KIND:MATCH[:COUNT[:DELAYMS]], as the command lines take it: "delay:get.playback.recordinfo:1:500",
    // "status500:*". False when the text is not in that form; `rule` may then be half filled.
    static bool ruleFromText(const QString &text, FaultRule *rule);

private:
    QVector<FaultRule> rules;
};

} // namespace lydevice::sim

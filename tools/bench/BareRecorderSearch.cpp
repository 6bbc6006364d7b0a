#include "BareRecorderSearch.h"

#include <QElapsedTimer>

namespace
{
// The value of `key` in a recorder's "key=value" lines; 0 when missing.
int number(const QByteArray &body, const QByteArray &key)
{
    const QByteArray needle = key + '=';
    int at = body.startsWith(needle) ? 0 : body.indexOf('\n' + needle);
    if (at < 0)
        return 0;
    at += body.at(at) == '\n' ? needle.size() + 1 : needle.size();
    int end = at;
    while (end < body.size() && body.at(end) != '\r' && body.at(end) != '\n')
        ++end;
    return body.mid(at, end - at).toInt();
}

QByteArray wireTime(const QDateTime &time)
{
    return time.date().toString(QStringLiteral("yyyy-MM-dd")).toLatin1() + "%20"
        + time.time().toString(QStringLiteral("HH:mm:ss")).toLatin1();
}

qint64 nowNs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed();
}
} // namespace

BareRecorderSearch::BareRecorderSearch(
    BareHttpClient &client, const QVector<int> &channels, const QDateTime &start, const QDateTime &end)
    : client(client)
    , channels(channels)
    , span("&startTime=" + wireTime(start) + "&endTime=" + wireTime(end))
{
}

void BareRecorderSearch::start(Done callback)
{
    done = std::move(callback);
    result = Result();
    startedNs = nowNs();
    send("action=get.playback.recordinfo&chnid=" + QByteArray::number(channels.value(0)) + "&stream=0" + span,
        &BareRecorderSearch::onRecordInfo);
}

void BareRecorderSearch::send(const QByteArray &query, void (BareRecorderSearch::*next)(const QByteArray &body))
{
    ++result.requests;
    client.get("/sdk.cgi?" + query, [this, next](bool ok, const QByteArray &body) {
        if (!ok)
            finish(false);
        else
            (this->*next)(body);
    });
}

void BareRecorderSearch::onRecordInfo(const QByteArray &body)
{
    const int count = number(body, "cnt");
    if (count == 0)
        return finish(false);
    sessionId = number(body, "sid");
    remaining = number(body, "allCnt") - count;
    page = 1;
    remaining != 0 ? requestRecordInfoPage() : requestEventSearch();
}

void BareRecorderSearch::requestRecordInfoPage()
{
    ++page;
    send("action=get.playback.recordinfo_page&sid=" + QByteArray::number(sessionId)
            + "&page=" + QByteArray::number(page),
        &BareRecorderSearch::onRecordInfoPage);
}

void BareRecorderSearch::onRecordInfoPage(const QByteArray &body)
{
    const int count = number(body, "cnt");
    if (count == 0)
        return finish(false);
    remaining -= count;
    remaining != 0 ? requestRecordInfoPage() : requestEventSearch();
}

void BareRecorderSearch::requestEventSearch()
{
    QByteArray mask(64, '0');
    for (const int channel : channels) {
        if (channel >= 0 && channel < mask.size())
            mask[channel] = '1';
    }
    send("action=get.playback.evt_backup_search&chnmaskl=" + mask + "&num=1&event=2&subType=0&stream=0&ahead=0&delay=0"
            + span,
        &BareRecorderSearch::onEventSearch);
}

void BareRecorderSearch::onEventSearch(const QByteArray &body)
{
    const int count = number(body, "cnt");
    if (count == 0)
        return finish(false);
    eventHandle = number(body, "sid");
    result.records += count;
    page = 1;
    count >= 100 ? requestEventPage() : finish(true);
}

void BareRecorderSearch::requestEventPage()
{
    ++page;
    send("action=get.playback.evt_backup_search_page&sid=" + QByteArray::number(eventHandle)
            + "&page=" + QByteArray::number(page),
        &BareRecorderSearch::onEventPage);
}

void BareRecorderSearch::onEventPage(const QByteArray &body)
{
    const int count = number(body, "cnt");
    result.records += count;
    count >= 100 ? requestEventPage() : finish(true);
}

void BareRecorderSearch::finish(bool ok)
{
    result.ok = ok;
    result.elapsedNs = nowNs() - startedNs;
    // What the search opened is closed afterwards, one request after the other (the client
    // carries one at a time): the event search now, as LyDevice does, the playback session, which
    // LyDevice leaves to the host's next search or cancel-all, after it.
    const QByteArray stop
        = "/sdk.cgi?action=set.playback.stop_batch&cnt=1&sid[0]=" + QByteArray::number(sessionId) + "&close=1";
    BareHttpClient *const http = &client;
    const auto stopSession = [http, stop, session = sessionId](bool, const QByteArray &) {
        if (session >= 0)
            http->get(stop, [](bool, const QByteArray &) {});
    };
    if (eventHandle >= 0)
        client.get(
            "/sdk.cgi?action=get.playback.evt_backup_search_close&sid=" + QByteArray::number(eventHandle), stopSession);
    else
        stopSession(true, QByteArray());
    const Done callback = std::move(done);
    done = nullptr;
    callback(result);
}

#pragma once

#include "BareHttpClient.h"

#include <QDateTime>
#include <QVector>

#include <functional>

// The request sequence of LyDevice's video search of a recorder over HTTP (record type "all"), sent
// through a BareHttpClient: the record info of the first channel and its pages, the event search
// and its pages, then the close. Of each reply it reads only "cnt", "allCnt" and "sid", which
// decide the next request; the records themselves are never looked at.
class BareRecorderSearch
{
public:
    struct Result {
        bool ok = false;
        int requests = 0;
        int records = 0; // sum of the event replies' "cnt"
        qint64 elapsedNs = 0; // from the first request to the last page's reply
    };
    using Done = std::function<void(const Result &)>;

    BareRecorderSearch(
        BareHttpClient &client, const QVector<int> &channels, const QDateTime &start, const QDateTime &end);

    // Starts the sequence; `done` runs once the last event page has arrived (the close requests
    // then go out, as LyDevice sends them, without being waited for).
    void start(Done done);

private:
    void send(const QByteArray &query, void (BareRecorderSearch::*next)(const QByteArray &body));
    void onRecordInfo(const QByteArray &body);
    void requestRecordInfoPage();
    void onRecordInfoPage(const QByteArray &body);
    void requestEventSearch();
    void onEventSearch(const QByteArray &body);
    void requestEventPage();
    void onEventPage(const QByteArray &body);
    void finish(bool ok);

    BareHttpClient &client;
    QVector<int> channels;
    QByteArray span;
    Done done;
    Result result;
    qint64 startedNs = 0;
    int sessionId = -1;
    int remaining = 0;
    int eventHandle = -1;
    int page = 0;
};

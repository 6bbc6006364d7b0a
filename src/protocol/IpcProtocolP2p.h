#pragma once

#include <transport/p2p_sdk.h>

#include <QDateTime>
#include <QJsonObject>
#include <QVariantList>

namespace lydevice
{

// Everything LyDevice says to an IP camera over the P2P link (camera record search commands) and
// reads from its replies.
class IpcProtocolP2p
{
public:
    explicit IpcProtocolP2p(quint64 handle);

    // The number of record file pages in a span, and one page (counting from 1). The camera is
    // asked for every record type; a search keeps its type itself.
    void filePageCount(const QDateTime &start, const QDateTime &end, P2PCommandCallback &&reply) const;
    void filePage(const QDateTime &start, const QDateTime &end, int page, P2PCommandCallback &&reply) const;

    // "total_page" of a page-count reply. The one-shot search takes only a whole number (anything
    // else reads 0); the incremental reader truncates a fraction.
    static int wholePageCount(const QJsonObject &reply);
    static int truncatedPageCount(const QJsonObject &reply);
    // The record file entries of a page reply ("file_list"); a page without files gives none.
    static QVariantList filePage(const QJsonObject &reply);

private:
    quint64 handle;
};

} // namespace lydevice

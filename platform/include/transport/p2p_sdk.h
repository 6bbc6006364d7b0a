#pragma once

// Interface of the peer-to-peer command SDK of the LyP2PSDKv2 library, as LyDevice uses it.

#include <QJsonObject>

#include <functional>

// Commands of the camera command set.
enum class IPCCommand : int {
    SearchRecordFirstPage = 9, // page count of a record file search
    SearchRecordPage = 55, // one page of a record file search
};

// Commands of the recorder command set.
enum class NVRCommand : int {
    StopPlayback = 17, // "r.cnt", "r.close", "r.sid[0]"
    CloseEventSearch = 18, // "r.sid"
    OpenRecordSearch = 25, // "r.chnid", "r.stream", "r.startTime", "r.endTime"
    RecordSearchPage = 26, // "r.sid", "r.page"
    OpenEventSearch = 27, // "r.chnmaskl", "r.num", "r.event", "r.subType", "r.stream", ...
    EventSearchPage = 28, // "r.sid", "r.page"
    OpenTagSearch = 29, // "chnMaskl", "enType", "startTime", "endTime"
    CloseTagSearch = 30, // "cnt", "sid0"
    TagSearchPage = 31, // "sid", "npage"
};

// ok true: reply holds the device's answer. ok false: nothing to read. Called once, later, in the
// main thread.
using P2PCommandCallback = std::function<void(bool ok, QJsonObject reply)>;

// `timeout` is in seconds.
void lyp2psdk_send_command(
    int handle, IPCCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout);
void lyp2psdk_send_command(
    int handle, NVRCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout);

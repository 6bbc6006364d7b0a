#pragma once

// Registration API of our LyP2PSDKv2 stand-in: a device becomes reachable through
// lyp2psdk_send_command once it is registered here, under the handle returned.
//
// The link to a device is one TCP connection (opened on the first command, opened again after a
// loss) carrying one compact JSON object per "\n"-terminated line each way:
//   request: {"id": <number>, "kind": "ipc" | "nvr", "command": <int>, "request": <object>}
//   reply:   {"id": <number>, "reply": <object>}
// Several commands may wait on one link; replies are matched by id, in any order.
//
// All functions are for the application's main thread (the thread of
// QCoreApplication::instance()); every callback runs there, later, exactly once. Without an
// application object, calls do nothing and callbacks are dropped.

#include <transport/p2p_sdk.h>

#include "lyp2psdk_export.h"

#include <QString>

// Longest reply line accepted; a longer one breaks the link. The largest reply a device sends, a
// recorder's page of 10,000 records, takes about 2 MiB; the cap also bounds the memory that one
// line can cost while it is parsed.
constexpr int LyP2pSdkMaxLineSize = 4 * 1024 * 1024;

// Registers a device whose command link listens at host:port. Returns the handle (> 0, never
// reused), or 0 when called without an application or outside its thread.
LYP2PSDK_EXPORT int lyp2psdk_add_peer(const QString &host, quint16 port);
// Forgets a device; its outstanding commands are answered with ok false.
LYP2PSDK_EXPORT void lyp2psdk_remove_peer(int handle);
// Why the command of `handle` answered last failed: empty when it succeeded, or before the first
// answer. Otherwise one short lower-case sentence that names the device's address, set before
// that command's callback runs:
//   "connection refused by 192.0.2.11:20000", "host cam.local not found",
//   "cannot connect to 192.0.2.11:20000 (<the socket's error text>)",
//   "no answer within 20 s from 192.0.2.11:20000 while connecting",
//   "no reply within 20 s from 192.0.2.11:20000",
//   "link closed by 192.0.2.11:20000", "link to 192.0.2.11:20000 lost (<the socket's error text>)",
//   "malformed reply line from ...", "reply line with a repeated key from ...",
//   "reply line too long from ... (over 4 MiB)", "reply from ... without a reply object",
//   "p2p command ids used up".
// A loss of the link counts only when commands were waiting on it. "unknown peer <n>" for a
// handle never registered or removed. Each error is also logged as a warning under the category
// "lyp2psdk.link" when it happens (QT_LOGGING_RULES="lyp2psdk.link.warning=false" silences it).
LYP2PSDK_EXPORT QString lyp2psdk_last_error(int handle);
// Timeout in milliseconds for commands sent with a timeout of zero or less; initially 20000. A
// value of zero or less restores the initial one.
LYP2PSDK_EXPORT void lyp2psdk_set_default_timeout(int timeoutMs);

// The SDK itself (declared in transport/p2p_sdk.h), exported from this library. `timeout` is in
// seconds. ok false on timeout, connection failure, an unknown handle, a reply whose "reply" is not
// an object (that command only) and loss of the link (every command waiting on it). The link is
// dropped when a reply line is not a JSON object, is longer than LyP2pSdkMaxLineSize or holds an
// object that repeats a key (such lines are refused unparsed).
LYP2PSDK_EXPORT void lyp2psdk_send_command(
    int handle, IPCCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout);
LYP2PSDK_EXPORT void lyp2psdk_send_command(
    int handle, NVRCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout);

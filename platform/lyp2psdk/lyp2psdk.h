#pragma once

// Registration API of our LyP2PSDKv2 stand-in: a device becomes reachable through
// lyp2psdk_send_command once it is registered here, under the handle returned.

#include <transport/p2p_sdk.h>

#include <QString>

// Registers a device whose command link listens at host:port. Returns the handle (never 0).
int lyp2psdk_add_peer(const QString &host, quint16 port);
// Forgets a device; its outstanding commands are answered with ok false.
void lyp2psdk_remove_peer(int handle);

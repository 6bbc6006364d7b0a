#pragma once

#include <QHostAddress>
#include <QTcpServer>

namespace lydevice::sim
{

// Listens as QTcpServer::listen does, but with the longest queue of waiting connections the system
// allows. Qt 5 asks for 50: a host that connects to a thousand simulated devices at once would see
// connections dropped and retried a second later, and measure that instead of itself.
bool listenWithLongBacklog(QTcpServer &server, const QHostAddress &address, quint16 port);

} // namespace lydevice::sim

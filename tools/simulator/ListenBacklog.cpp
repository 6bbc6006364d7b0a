#include "ListenBacklog.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lydevice::sim
{

bool listenWithLongBacklog(QTcpServer &server, const QHostAddress &address, quint16 port)
{
    // Only plain IPv4 addresses; anything else, or any error, is left to Qt, which also says why.
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return server.listen(address, port);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return server.listen(address, port);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address.toIPv4Address());
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 || ::listen(fd, SOMAXCONN) != 0
        || !server.setSocketDescriptor(fd)) {
        ::close(fd);
        return server.listen(address, port);
    }
    return true;
}

} // namespace lydevice::sim

// A listener at a chosen port on Linux: BSD sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "support/EscutaNaPorta.h"

namespace bilhetor::testing {

SoqueteTeste EscutarNaPorta(int porta, int backlog) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  // The port may have been listened on a moment ago, to find it free.
  const int um = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(porta));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
    const int err = errno;
    ::close(fd);
    throw std::runtime_error("cannot listen at port " + std::to_string(porta) + ": " + std::strerror(err));
  }
  return fd;
}

}  // namespace bilhetor::testing

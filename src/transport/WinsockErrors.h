#pragma once
// Linux: the Windows sockets number of a system errno value (the value
// itself when it has none), and of a getaddrinfo result (0 for success).
// Windows reports these numbers itself.

namespace bilhetor {

int ErrnoToWinsock(int err);
int AddrInfoErrorToWinsock(int gaiResult, int err);

}  // namespace bilhetor

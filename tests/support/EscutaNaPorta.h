#pragma once
// A listener on 127.0.0.1 at a port the test chose beforehand (usually one
// that FreeLoopbackPort found free): a peer that the device under test was
// told about while it was still off, and which comes up later at that port.
// The socket is one of support/Soquetes.h. Linux in EscutaNaPortaPosix.cpp,
// Windows in EscutaNaPortaWin32.cpp.
#include "support/Soquetes.h"

namespace bilhetor::testing {

// Throws std::runtime_error when the port cannot be bound or listened on.
SoqueteTeste EscutarNaPorta(int porta, int backlog);

}  // namespace bilhetor::testing

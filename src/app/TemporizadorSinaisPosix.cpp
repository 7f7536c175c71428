// The passing of time for the headless loop, and SIGTERM and SIGINT as its stop.
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "app/ServidorHeadless.h"

namespace bilhetor {

TTemporizadorSinais::TTemporizadorSinais() {
  sigset_t sinais;
  sigemptyset(&sinais);
  sigaddset(&sinais, SIGTERM);
  sigaddset(&sinais, SIGINT);
  pthread_sigmask(SIG_BLOCK, &sinais, nullptr);
}

TTemporizadorSinais::~TTemporizadorSinais() = default;

int64_t TTemporizadorSinais::AgoraMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool TTemporizadorSinais::Esperar(int64_t ms) {
  sigset_t sinais;
  sigemptyset(&sinais);
  sigaddset(&sinais, SIGTERM);
  sigaddset(&sinais, SIGINT);
  const int64_t fim = AgoraMs() + std::max<int64_t>(ms, 0);
  for (;;) {
    const int64_t resta = std::max<int64_t>(fim - AgoraMs(), 0);
    const timespec espera{static_cast<time_t>(resta / 1000), static_cast<long>(resta % 1000) * 1000000L};
    const int r = sigtimedwait(&sinais, nullptr, &espera);
    if (r > 0) return false;
    if (errno == EAGAIN) return true;
    // EINTR: another signal interrupted the wait; wait out the rest.
  }
}

bool TTemporizadorSinais::ParadaPedida() {
  sigset_t pendentes;
  sigemptyset(&pendentes);
  sigpending(&pendentes);
  return sigismember(&pendentes, SIGTERM) == 1 || sigismember(&pendentes, SIGINT) == 1;
}

}  // namespace bilhetor

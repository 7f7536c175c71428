// The passing of time for the headless loop on Windows, and Ctrl-C,
// Ctrl-Break, closing the console, logging off and shutting down as its stop.
// The system ends the process as soon as the handler of a close, log-off or
// shutdown returns, so the handler waits (a little less than the system's
// five seconds) until the loop has ended cleanly.
#include <windows.h>

#include <atomic>
#include <chrono>

#include "app/ServidorHeadless.h"

namespace bilhetor {

namespace {

std::atomic<bool> paradaPedida{false};
HANDLE eventoParada = nullptr;
HANDLE eventoEncerrado = nullptr;

BOOL WINAPI AoControle(DWORD tipo) {
  paradaPedida = true;
  SetEvent(eventoParada);
  if (tipo == CTRL_CLOSE_EVENT || tipo == CTRL_LOGOFF_EVENT || tipo == CTRL_SHUTDOWN_EVENT)
    WaitForSingleObject(eventoEncerrado, 4500);
  return TRUE;
}

}  // namespace

TTemporizadorSinais::TTemporizadorSinais() {
  if (!eventoParada) eventoParada = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!eventoEncerrado) eventoEncerrado = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(AoControle, TRUE);
}

TTemporizadorSinais::~TTemporizadorSinais() { SetEvent(eventoEncerrado); }

int64_t TTemporizadorSinais::AgoraMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool TTemporizadorSinais::Esperar(int64_t ms) {
  if (paradaPedida) return false;
  const DWORD espera = ms <= 0 ? 0 : ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
  return WaitForSingleObject(eventoParada, espera) == WAIT_TIMEOUT && !paradaPedida;
}

bool TTemporizadorSinais::ParadaPedida() { return paradaPedida; }

}  // namespace bilhetor

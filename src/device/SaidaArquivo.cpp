#include "device/SaidaArquivo.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace bilhetor {

TSaidaDescritor::~TSaidaDescritor() {
  if (fd_ >= 0) ::close(fd_);
}

ssize_t TSaidaDescritor::Escrever(const char* Dados, size_t Tamanho, int& Erro) {
  const ssize_t n = ::write(fd_, Dados, Tamanho);
  Erro = n < 0 ? errno : 0;
  return n;
}

bool TSaidaDescritor::AguardarEscrita(int Ms) {
  const int64_t limite = AgoraMs() + std::max(Ms, 0);
  for (;;) {
    pollfd p{fd_, POLLOUT, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(limite - AgoraMs(), 0)));
    if (r < 0 && errno == EINTR) continue;
    return r > 0 && (p.revents & POLLOUT) != 0;
  }
}

int64_t TSaidaDescritor::AgoraMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TSaidaDescritor::Dormir(int Ms) {
  if (Ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
}

TResultadoEscrita EscreverNaSaida(TSaidaArquivo& Saida, const char* Dados, size_t Tamanho, int EsperaMs,
                                  int& Erro) {
  size_t escritos = 0;
  Erro = 0;
  EsperaMs = std::max(EsperaMs, 0);
  int64_t limite = Saida.AgoraMs() + EsperaMs;
  int pausa = 1;
  while (escritos < Tamanho) {
    int erro = 0;
    const ssize_t n = Saida.Escrever(Dados + escritos, Tamanho - escritos, erro);
    if (n > 0) {
      escritos += static_cast<size_t>(n);
      limite = Saida.AgoraMs() + EsperaMs;
      pausa = 1;
      continue;
    }
    if (n < 0 && erro == EINTR) continue;
    if (n < 0 && erro != EAGAIN && erro != EWOULDBLOCK) {
      Erro = erro;
      return TResultadoEscrita::Falhou;
    }
    // Busy (or a write that took nothing): wait for the port, but never
    // less than the current pause, whatever the port's poll says.
    const int64_t inicio = Saida.AgoraMs();
    if (inicio >= limite) return TResultadoEscrita::Parado;
    const int64_t resta = limite - inicio;
    Saida.AguardarEscrita(static_cast<int>(resta));
    const int64_t gasto = Saida.AgoraMs() - inicio;
    if (gasto < pausa) Saida.Dormir(static_cast<int>(std::min<int64_t>(pausa, resta) - gasto));
    pausa = std::min(pausa * 2, kPausaMaximaPortaMs);
  }
  return TResultadoEscrita::Escrito;
}

bool AguardarEntrega(TSaidaArquivo& Saida, int EsperaMs) { return Saida.AguardarEscrita(std::max(EsperaMs, 0)); }

}  // namespace bilhetor

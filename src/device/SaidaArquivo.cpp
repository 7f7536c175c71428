#include "device/SaidaArquivo.h"

#include <algorithm>
#include <cerrno>

namespace bilhetor {

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

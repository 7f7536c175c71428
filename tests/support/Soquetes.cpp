// The parts of the test sockets built from the calls of each platform.
#include "support/Soquetes.h"

#include <stdexcept>

namespace bilhetor::testing {

bool EnviarTudo(SoqueteTeste s, const std::string& dados, int limiteMs) {
  // Each piece is sent without waiting and the wait for room is a select:
  // Wine does not always end a send blocked in the system when the peer
  // resets the connection.
  std::size_t feito = 0;
  while (feito < dados.size()) {
    const long n = Enviar(s, dados.data() + feito, dados.size() - feito, true);
    if (n > 0) {
      feito += static_cast<std::size_t>(n);
    } else if (n != kVazio || Aguardar(s, true, limiteMs) <= 0) {
      return false;
    }
  }
  return true;
}

int Aguardar(SoqueteTeste s, bool escrita, int ms) {
  std::vector<Vigia> vigias {{s, escrita, false}};
  return Vigiar(vigias, ms);
}

int PortaLivre() {
  int porta = 0;
  Fechar(Escutar(FamiliaTeste::IPv4, 1, porta));
  return porta;
}

Despertador::Despertador() {
  int porta = 0;
  const SoqueteTeste escuta = Escutar(FamiliaTeste::IPv4, 1, porta);
  escrita_ = Conectar(FamiliaTeste::IPv4, porta);
  leitura_ = escrita_ == kSemSoquete ? kSemSoquete : Aceitar(escuta);
  Fechar(escuta);
  if (leitura_ == kSemSoquete) {
    if (escrita_ != kSemSoquete) Fechar(escrita_);
    throw std::runtime_error("Despertador: no loopback connection");
  }
}

Despertador::~Despertador() {
  Fechar(leitura_);
  Fechar(escrita_);
}

void Despertador::Acordar() {
  const char b = 1;
  Enviar(escrita_, &b, 1, true);
}

void Despertador::Esvaziar() {
  char buf[256];
  while (Receber(leitura_, buf, sizeof buf, true) > 0) {
  }
}

}  // namespace bilhetor::testing

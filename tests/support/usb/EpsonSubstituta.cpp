// Stand-in for Epson's USB printer library (libInterfaceEpsonNF.so): the
// seven functions the Epson hook calls. Built a second time without
// Le_Status_Gaveta (BILHETOR_SUBSTITUTA_INCOMPLETA) for the load errors.
//
// Results a test can set in epson.respostas (defaults in brackets):
//   IniciaPorta, FechaPorta, ComandoTX [1]; Le_Status [1]; Le_Status_Gaveta [2];
//   LeModelo, LeNumeroSerie [1] with LeModelo.texto, LeNumeroSerie.texto
//   [TM-T20, X5KL012345]: the text written at the start of the buffer,
//   whose remaining bytes stay as they came (blanks).
// Calls recorded in epson.chamadas:
//   IniciaPorta(<port>)  FechaPorta()  ComandoTX(<hex of the bytes>, <count>)
//   Le_Status()  Le_Status_Gaveta()  LeModelo(<buffer>)  LeNumeroSerie(<buffer>)
// where <buffer> is "32 brancos" when the 32 bytes received were all blanks.
#include <cstring>
#include <vector>

#include "Substituta.h"

using namespace bilhetor_substituta;

namespace {

const char* const kMarca = "epson";
Vida vida(kMarca);

int LerTexto(const char* funcao, char* buffer, const char* padrao) {
  const bool brancos = [&] {
    for (int i = 0; i < 32; ++i)
      if (buffer[i] != ' ') return false;
    return true;
  }();
  char linha[128];
  std::snprintf(linha, sizeof linha, "%s(%s)", funcao, brancos ? "32 brancos" : "?");
  Registrar(kMarca, linha);
  const int r = Resultado(kMarca, funcao, 1);
  if (r != 1) return r;
  char chave[64], texto[64];
  std::snprintf(chave, sizeof chave, "%s.texto", funcao);
  if (!Resposta(kMarca, chave, 0, texto, sizeof texto)) std::snprintf(texto, sizeof texto, "%s", padrao);
  std::size_t n = std::strlen(texto);
  if (n > 32) n = 32;
  std::memcpy(buffer, texto, n);
  return r;
}

}  // namespace

extern "C" {

int IniciaPorta(const char* porta) {
  char linha[256];
  std::snprintf(linha, sizeof linha, "IniciaPorta(%s)", porta ? porta : "(null)");
  Registrar(kMarca, linha);
  return Resultado(kMarca, "IniciaPorta", 1);
}

int FechaPorta() {
  Registrar(kMarca, "FechaPorta()");
  return Resultado(kMarca, "FechaPorta", 1);
}

int ComandoTX(const char* comando, int tamanho) {
  const std::size_t n = tamanho > 0 ? static_cast<std::size_t>(tamanho) : 0;
  std::vector<char> linha(2 * n + 64);
  std::vector<char> hex(2 * n + 1);
  Hex(reinterpret_cast<const unsigned char*>(comando), n, hex.data());
  std::snprintf(linha.data(), linha.size(), "ComandoTX(%s, %d)", hex.data(), tamanho);
  Registrar(kMarca, linha.data());
  return Resultado(kMarca, "ComandoTX", 1);
}

int Le_Status() {
  Registrar(kMarca, "Le_Status()");
  return Resultado(kMarca, "Le_Status", 1);
}

#ifndef BILHETOR_SUBSTITUTA_INCOMPLETA
int Le_Status_Gaveta() {
  Registrar(kMarca, "Le_Status_Gaveta()");
  return Resultado(kMarca, "Le_Status_Gaveta", 2);
}
#endif

int LeModelo(char* buffer) { return LerTexto("LeModelo", buffer, "TM-T20"); }

int LeNumeroSerie(char* buffer) { return LerTexto("LeNumeroSerie", buffer, "X5KL012345"); }

}  // extern "C"

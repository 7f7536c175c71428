// Stand-in for the Elgin USB printer library (libHprtPrinter.so): the four
// functions the Elgin hook calls. Built a second time without PrtDirectIO
// (BILHETOR_SUBSTITUTA_INCOMPLETA) for the load errors.
//
// Results a test can set in elgin.respostas (defaults in brackets):
//   PrtPrinterCreatorW, PrtPortOpenW, PrtPortClose [0];
//   leitura=<hex>, one line per read, in order: what the n-th read of the
//   printer gives (an empty value gives 0 bytes; past the last line, 0 bytes).
// Calls recorded in elgin.chamadas, texts shown in ASCII:
//   PrtPrinterCreatorW(<model>)
//   PrtPortOpenW(<handle>, <port>)  PrtPortClose(<handle>)
//   PrtDirectIO(<handle>, <hex written or ->, <count>, <buf or ->, <size>, <&lidos or ->)
// where <handle> is "instancia" for the printer object the creator handed out
// and "outra" for anything else.
#include <cstring>
#include <vector>

#include "Substituta.h"

using namespace bilhetor_substituta;

namespace {

const char* const kMarca = "elgin";
Vida vida(kMarca);
int objeto;  // the printer object: only its address is handed out

const char* Handle(void* h) { return h == &objeto ? "instancia" : "outra"; }

// A UTF-16 text in ASCII, other units as \uXXXX.
void Ascii(const char16_t* texto, char* saida, std::size_t tamanho) {
  std::size_t n = 0;
  for (; texto && *texto && n + 7 < tamanho; ++texto) {
    if (*texto < 0x80)
      saida[n++] = static_cast<char>(*texto);
    else
      n += static_cast<std::size_t>(std::snprintf(saida + n, tamanho - n, "\\u%04X", static_cast<unsigned>(*texto)));
  }
  saida[n] = '\0';
}

// The reads recorded so far: the next one gets that line of the answers.
[[maybe_unused]] int LeiturasFeitas() {
  char caminho[4096];
  if (!Arquivo(kMarca, "chamadas", caminho, sizeof caminho)) return 0;
  std::FILE* f = std::fopen(caminho, "rb");
  if (!f) return 0;
  int n = 0;
  char linha[8192];
  while (std::fgets(linha, sizeof linha, f))
    if (std::strstr(linha, ", buf, ")) ++n;
  std::fclose(f);
  return n;
}

}  // namespace

extern "C" {

int PrtPrinterCreatorW(void** handle, const char16_t* modelo) {
  char texto[256], linha[300];
  Ascii(modelo, texto, sizeof texto);
  std::snprintf(linha, sizeof linha, "PrtPrinterCreatorW(%s)", texto);
  Registrar(kMarca, linha);
  const int r = Resultado(kMarca, "PrtPrinterCreatorW", 0);
  if (r == 0 && handle) *handle = &objeto;
  return r;
}

int PrtPortOpenW(void* handle, const char16_t* porta) {
  char texto[256], linha[300];
  Ascii(porta, texto, sizeof texto);
  std::snprintf(linha, sizeof linha, "PrtPortOpenW(%s, %s)", Handle(handle), texto);
  Registrar(kMarca, linha);
  return Resultado(kMarca, "PrtPortOpenW", 0);
}

int PrtPortClose(void* handle) {
  char linha[64];
  std::snprintf(linha, sizeof linha, "PrtPortClose(%s)", Handle(handle));
  Registrar(kMarca, linha);
  return Resultado(kMarca, "PrtPortClose", 0);
}

#ifndef BILHETOR_SUBSTITUTA_INCOMPLETA
int PrtDirectIO(void* handle, const unsigned char* escrever, unsigned qtdeEscrever, unsigned char* ler,
                unsigned qtdeLer, unsigned* qtdeLida) {
  const int leitura = LeiturasFeitas();
  const std::size_t n = escrever ? qtdeEscrever : 0;
  std::vector<char> hex(2 * n + 2);
  if (escrever)
    Hex(escrever, n, hex.data());
  else
    std::snprintf(hex.data(), hex.size(), "-");
  std::vector<char> linha(hex.size() + 128);
  std::snprintf(linha.data(), linha.size(), "PrtDirectIO(%s, %s, %u, %s, %u, %s)", Handle(handle), hex.data(),
                qtdeEscrever, ler ? "buf" : "-", qtdeLer, qtdeLida ? "&lidos" : "-");
  Registrar(kMarca, linha.data());
  if (ler && qtdeLida) {
    char valor[4096];
    *qtdeLida = 0;
    if (Resposta(kMarca, "leitura", leitura, valor, sizeof valor))
      *qtdeLida = static_cast<unsigned>(DeHex(valor, ler, qtdeLer));
  }
  return 0;
}
#endif

}  // extern "C"

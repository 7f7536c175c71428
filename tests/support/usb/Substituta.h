#pragma once
// What the two stand-ins for the makers' USB printer libraries share. A
// stand-in is loaded and unloaded by the hooks over and over within one test
// program, so it keeps no state in memory and uses only the C library:
// nothing here may stop the loader from unloading it.
//
// The folder named by the environment variable BILHETOR_USB_SUBSTITUTA holds,
// for each brand ("epson", "elgin"):
//   <brand>.chamadas   every call, one line each, appended by the stand-in
//   <brand>.respostas  "Name=value" lines the test writes: what a function
//                      returns (a missing line gives the library's success)
// Without the variable the stand-in records nothing and always succeeds.
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bilhetor_substituta {

[[maybe_unused]] static bool Arquivo(const char* marca, const char* extensao, char* caminho, std::size_t tamanho) {
  const char* pasta = std::getenv("BILHETOR_USB_SUBSTITUTA");
  if (!pasta || !*pasta) return false;
  const int n = std::snprintf(caminho, tamanho, "%s/%s.%s", pasta, marca, extensao);
  return n > 0 && static_cast<std::size_t>(n) < tamanho;
}

// Appends one line to <brand>.chamadas.
[[maybe_unused]] static void Registrar(const char* marca, const char* linha) {
  char caminho[4096];
  if (!Arquivo(marca, "chamadas", caminho, sizeof caminho)) return;
  std::FILE* f = std::fopen(caminho, "ab");
  if (!f) return;
  std::fputs(linha, f);
  std::fputc('\n', f);
  std::fclose(f);
}

// The value of the n-th line "chave=..." (counting from 0) of
// <brand>.respostas, copied into valor; false when there is none.
[[maybe_unused]] static bool Resposta(const char* marca, const char* chave, int n, char* valor, std::size_t tamanho) {
  char caminho[4096];
  if (!Arquivo(marca, "respostas", caminho, sizeof caminho)) return false;
  std::FILE* f = std::fopen(caminho, "rb");
  if (!f) return false;
  char linha[4096];
  const std::size_t lenChave = std::strlen(chave);
  bool achou = false;
  while (std::fgets(linha, sizeof linha, f)) {
    std::size_t len = std::strlen(linha);
    while (len > 0 && (linha[len - 1] == '\n' || linha[len - 1] == '\r')) linha[--len] = '\0';
    if (std::strncmp(linha, chave, lenChave) != 0 || linha[lenChave] != '=') continue;
    if (n-- > 0) continue;
    std::snprintf(valor, tamanho, "%s", linha + lenChave + 1);
    achou = true;
    break;
  }
  std::fclose(f);
  return achou;
}

// The integer a function is to return: the test's value, or padrao.
[[maybe_unused]] static int Resultado(const char* marca, const char* funcao, int padrao) {
  char valor[64];
  if (!Resposta(marca, funcao, 0, valor, sizeof valor)) return padrao;
  return std::atoi(valor);
}

// Bytes written as upper-case hexadecimal, two digits each, into texto
// (which holds at least 2 * tamanho + 1 bytes).
[[maybe_unused]] static void Hex(const unsigned char* bytes, std::size_t tamanho, char* texto) {
  static const char digitos[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < tamanho; ++i) {
    texto[2 * i] = digitos[bytes[i] >> 4];
    texto[2 * i + 1] = digitos[bytes[i] & 0x0F];
  }
  texto[2 * tamanho] = '\0';
}

// Hexadecimal text back into bytes; the number of bytes, at most maximo.
[[maybe_unused]] static std::size_t DeHex(const char* texto, unsigned char* bytes, std::size_t maximo) {
  std::size_t n = 0;
  auto valor = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  while (texto[0] && texto[1] && n < maximo) {
    const int alto = valor(texto[0]), baixo = valor(texto[1]);
    if (alto < 0 || baixo < 0) break;
    bytes[n++] = static_cast<unsigned char>(alto * 16 + baixo);
    texto += 2;
  }
  return n;
}

namespace {

// Records the loading and unloading of the library.
struct Vida {
  explicit Vida(const char* marca) : marca_(marca) { Registrar(marca_, "carregada"); }
  ~Vida() { Registrar(marca_, "descarregada"); }
  Vida(const Vida&) = delete;
  Vida& operator=(const Vida&) = delete;
  const char* marca_;
};

}  // namespace

}  // namespace bilhetor_substituta

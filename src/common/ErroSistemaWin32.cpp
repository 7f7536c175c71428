#include <windows.h>

#include "common/ErroSistema.h"

namespace bilhetor {

std::string DescricaoErroSistema(unsigned long codigo) {
  char texto[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, codigo, 0, texto,
                                 sizeof texto, nullptr);
  std::string descricao(texto, n);
  while (!descricao.empty() && (descricao.back() == '\n' || descricao.back() == '\r' || descricao.back() == ' '))
    descricao.pop_back();
  if (descricao.empty()) descricao = "System error " + std::to_string(codigo);
  return descricao;
}

}  // namespace bilhetor

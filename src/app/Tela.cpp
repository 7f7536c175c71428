// Whether a display is there and answers.
#include "app/Plataforma.h"

#include <cstdlib>

#include "device/BibliotecaDinamica.h"

namespace bilhetor {

bool TemTela() {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (display && *display) || (wayland && *wayland);
}

namespace {

bool Definida(const char* variavel) {
  const char* valor = std::getenv(variavel);
  return valor && *valor;
}

}  // namespace

bool ServidorXResponde() {
  if (!Definida("DISPLAY")) return false;
  // The X client library that Qt's X platform uses, asked for at run time:
  // the program needs it only on a desktop.
  const auto xcb = TBibliotecaDinamica::Carregar("libxcb.so.1");
  if (!xcb) return false;
  using Conectar = void* (*)(const char*, int*);
  using Erro = int (*)(void*);
  using Desconectar = void (*)(void*);
  const auto conectar = xcb->Funcao<Conectar>("xcb_connect");
  const auto erro = xcb->Funcao<Erro>("xcb_connection_has_error");
  const auto desconectar = xcb->Funcao<Desconectar>("xcb_disconnect");
  bool responde = false;
  if (conectar && erro && desconectar) {
    void* conexao = conectar(nullptr, nullptr);
    responde = conexao && erro(conexao) == 0;
    if (conexao) desconectar(conexao);
  }
  return responde;
}

bool TelaResponde() {
  return Definida("QT_QPA_PLATFORM") || ServidorXResponde() || Definida("WAYLAND_DISPLAY");
}

}  // namespace bilhetor

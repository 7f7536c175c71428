// Whether a display is there and answers.
#include "app/Plataforma.h"

#include <cstdlib>

#include "device/BibliotecaDinamica.h"

namespace bilhetor {

const char* const kModuloJanela = "bilhetor-janela.so";

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

TTela VerTela() {
  const bool x = Definida("DISPLAY"), wayland = Definida("WAYLAND_DISPLAY");
  if (!x && !wayland) return TTela::Nenhuma;
  if (Definida("QT_QPA_PLATFORM")) return TTela::Plataforma;
  if (x && ServidorXResponde()) return TTela::X;
  return wayland ? TTela::Wayland : TTela::Muda;
}

}  // namespace bilhetor

// Whether a display is there and answers.
#include "app/Plataforma.h"

#include <cstdlib>

#include "device/BibliotecaDinamica.h"

namespace bilhetor {

const char* const kModuloJanela = "bilhetor-janela.so";

TAjudaPlataforma AjudaDaPlataforma() {
  return {"Com uma tela (DISPLAY ou WAYLAND_DISPLAY), o servidor fica na bandeja do sistema,\n"
          "com a janela dos relogios e da configuracao da impressora; SIGTERM ou SIGINT o\n"
          "encerram entre dois ciclos.\n",
          "                  termina com SIGTERM ou SIGINT entre dois ciclos\n",
          "  --pasta PASTA   pasta de sys.txt, banco.txt e bilhetor.ini (padrao: a pasta do\n"
          "                  programa; /etc/bilhetor para o programa instalado em /usr);\n"
          "                  sys.txt e banco.txt ausentes nela sao procurados em /etc/bilhetor\n",
          "  --estado PASTA  pasta do diario de tickets impressos (padrao: $STATE_DIRECTORY,\n"
          "                  senao ~/.local/state/bilhetor)\n"};
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

TTela VerTela() {
  const bool x = Definida("DISPLAY"), wayland = Definida("WAYLAND_DISPLAY");
  if (!x && !wayland) return TTela::Nenhuma;
  if (Definida("QT_QPA_PLATFORM")) return TTela::Plataforma;
  if (x && ServidorXResponde()) return TTela::X;
  return wayland ? TTela::Wayland : TTela::Muda;
}

}  // namespace bilhetor

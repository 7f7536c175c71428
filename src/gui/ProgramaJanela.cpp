#include "gui/ProgramaJanela.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QSystemTrayIcon>
#include <cstdlib>
#include <ostream>

#include "app/Plataforma.h"
#include "app/ServidorHeadless.h"
#include "gui/JanelaBilhetor.h"
#include "gui/JanelaConfiguraSerial.h"
#include "gui/MensagensQt.h"
#include "gui/SinaisParada.h"

namespace bilhetor {

namespace {

bool Definida(const char* variavel) {
  const char* valor = std::getenv(variavel);
  return valor && *valor;
}

bool PlataformaWaylandInstalada() {
  const QDir pasta(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !pasta.entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty();
}

}  // namespace

bool TelaDisponivel() {
  if (Definida("QT_QPA_PLATFORM")) return true;
  if (ServidorXResponde()) return true;
  if (Definida("WAYLAND_DISPLAY") && PlataformaWaylandInstalada()) {
    ::setenv("QT_QPA_PLATFORM", "wayland", 1);
    return true;
  }
  return false;
}

int ExecutarJanela(const std::string& executavel, const std::string& pasta, std::ostream& erro) {
  if (!TelaDisponivel()) return kSemTela;
  // Before Qt starts any thread of its own, so that all of them block them.
  TSinaisParada sinais;
  static int argc = 1;
  static char nome[] = "bilhetor";
  static char* argv[] = {nome, nullptr};
  QApplication aplicacao(argc, argv);
  // The window hides in the tray: the program does not end when no window
  // is left on the screen.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(IconeBilhetor());

  TRelogioSistema relogio;
  TMensagensQt mensagens(erro, relogio);
  sinais.Vigiar([] { QCoreApplication::exit(0); });

  const TInstanciaUnica instancia("TfrmBilhetor");
  if (!instancia.Obtida()) {
    MostrarInstanciaRecusada(mensagens, instancia);
    mensagens.AguardarFechamento();
    return 1;
  }

  TPastas pastas;
  pastas.Executavel = executavel;
  pastas.Configuracao = pasta;
  TMediaPlayerArquivo mediaPlayer;
  TDialogosQt dialogos;
  TfrmBilhetor form(pastas, relogio, mensagens, dialogos, mediaPlayer);
  TJanelaBilhetor janela(form);
  dialogos.DefinirPai(&janela);

  if (!form.ExecutarTratando([&] { form.FormCreate(); }) || form.Terminado()) {
    mensagens.AguardarFechamento();
    return 1;
  }
  janela.Iniciar([] { return QSystemTrayIcon::isSystemTrayAvailable(); });
  mensagens.Informar(DescricaoEmServico(form));
  const int status = QApplication::exec();
  mensagens.Informar(kMsgEncerrado);
  return status;
}

}  // namespace bilhetor

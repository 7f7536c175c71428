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

bool PlataformaWaylandInstalada() {
  const QDir pasta(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !pasta.entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty();
}

}  // namespace

bool QtAbreTela(TTela tela) {
  if (tela == TTela::Plataforma || tela == TTela::X) return true;
  if (tela != TTela::Wayland || !PlataformaWaylandInstalada()) return false;
  ::setenv("QT_QPA_PLATFORM", "wayland", 1);
  return true;
}

int ExecutarJanela(const std::string& executavel, const std::string& pasta, const std::string& estado, TTela tela,
                   std::ostream& erro) {
  if (!QtAbreTela(tela)) return kSemTela;
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

  const TPartida partida(executavel, pasta, estado);
  if (!partida.Obtida(mensagens)) {
    mensagens.AguardarFechamento();
    return 1;
  }
  TMediaPlayerArquivo mediaPlayer;
  TDialogosQt dialogos;
  TfrmBilhetor form(partida.Pastas(), relogio, mensagens, dialogos, mediaPlayer);
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

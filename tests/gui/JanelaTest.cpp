// The window on Qt's offscreen platform: a started print server (private
// MariaDB, a file port) shown by TJanelaBilhetor, driven with QTest as the
// operator would, with a test clock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <sstream>

#include "ServidorTeste.h"
#include "gui/JanelaBilhetor.h"
#include "gui/JanelaConfiguraSerial.h"
#include "gui/MensagensQt.h"
#include "gui/TextoQt.h"
#include "support/EscPosPrinterSim.h"

namespace bilhetor {
namespace {

using testing::BancoTeste;
using testing::MediaPlayerTeste;
using testing::PastasTeste;
using testing::ReadFile;
using testing::RelogioTeste;

// The print server with its window, as the program puts them together, but
// with a test clock, a recorded log and a recorded media player.
struct Tela {
  explicit Tela(const PastasTeste& pastas)
      : form(pastas.Pastas(), relogio, mensagens, dialogos, mediaPlayer), janela(form) {
    dialogos.DefinirPai(&janela);
  }
  RelogioTeste relogio;
  std::ostringstream log;
  TMensagensQt mensagens{log, relogio};
  TDialogosQt dialogos;
  MediaPlayerTeste mediaPlayer;
  TfrmBilhetor form;
  TJanelaBilhetor janela;
  bool bandeja = true;
};

// The message boxes on the screen.
std::vector<QMessageBox*> CaixasVisiveis() {
  std::vector<QMessageBox*> caixas;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* caixa = qobject_cast<QMessageBox*>(w); caixa && caixa->isVisible()) caixas.push_back(caixa);
  return caixas;
}

class Janela : public ::testing::Test {
 protected:
  // Starts the server (FormCreate) and its window (minimized at start).
  Tela& Iniciar(const std::string& extraIni = "", bool bandeja = true, const std::string& porta = "") {
    pastas.Configurar(banco, porta, extraIni);
    tela = std::make_unique<Tela>(pastas);
    tela->bandeja = bandeja;
    tela->form.FormCreate();
    EXPECT_FALSE(tela->form.Terminado());
    tela->janela.Iniciar([t = tela.get()] { return t->bandeja; });
    return *tela;
  }
  template <typename W>
  W& Filho(const char* nome) {
    W* w = tela->janela.findChild<W*>(nome);
    if (!w) throw std::runtime_error(std::string("no control ") + nome);
    return *w;
  }
  void Clicar(const char* botao) { QTest::mouseClick(&Filho<QPushButton>(botao), Qt::LeftButton); }
  // Types into a line edit as the operator: everything selected, then the text.
  static void Digitar(QLineEdit& campo, const QString& texto, bool enter = false) {
    campo.setFocus();
    campo.selectAll();
    QTest::keyClicks(&campo, texto);
    if (enter) QTest::keyClick(&campo, Qt::Key_Return);
  }
  QAction& Menu(const char* nome) {
    for (QAction* a : tela->janela.MenuBandeja().actions())
      if (a->objectName() == nome) return *a;
    throw std::runtime_error(std::string("no menu item ") + nome);
  }

  void TearDown() override { tela.reset(); }

  BancoTeste banco;
  PastasTeste pastas;
  std::unique_ptr<Tela> tela;
};

TEST_F(Janela, StartsHiddenInTheTrayWithItsHintAndMenu) {
  Tela& t = Iniciar();
  EXPECT_FALSE(t.janela.isVisible());
  EXPECT_TRUE(t.janela.TrayIcon().isVisible());
  EXPECT_EQ(t.janela.TrayIcon().toolTip(), QStringLiteral("Vialto Gerenciador da Impressão"));
  EXPECT_FALSE(t.janela.TrayIcon().icon().isNull());
  QStringList menu;
  for (QAction* a : t.janela.MenuBandeja().actions()) menu << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(menu, (QStringList{"Restaurar", "-", "Encerrar Programa"}));
  EXPECT_TRUE(t.mediaPlayer.abertos.empty());
  EXPECT_TRUE(t.janela.windowTitle().startsWith(QStringLiteral("SERVIDOR DE IMPRESSÃO - ATUALIZADO EM ")));

  // "Restaurar" shows it in its normal state and opens the sound file.
  Menu("Restaurar1").trigger();
  EXPECT_TRUE(t.janela.isVisible());
  EXPECT_FALSE(t.janela.isMinimized());
  EXPECT_EQ(t.mediaPlayer.abertos, std::vector<std::string>{pastas.Pastas().Som});
  // Fixed size: as large as its contents, and no larger.
  EXPECT_EQ(t.janela.minimumSize(), t.janela.maximumSize());

  // Minimized by the operator: back in the tray.
  t.janela.showMinimized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !t.janela.isVisible(); }));
  EXPECT_TRUE(t.form.Minimizado);
}

TEST_F(Janela, WithoutANotificationAreaTheWindowStaysMinimized) {
  Tela& t = Iniciar("", false);
  EXPECT_TRUE(t.janela.isVisible());
  EXPECT_TRUE(t.janela.isMinimized());
  EXPECT_FALSE(t.janela.TrayIcon().isVisible());
  // Brought back from the task bar, then hidden by the running-time rule:
  // minimized again, never out of reach.
  t.janela.showNormal();
  EXPECT_FALSE(t.form.Minimizado);
  t.relogio.Avancar(2);
  t.janela.Timer1Tick();
  EXPECT_TRUE(t.janela.isVisible());
  EXPECT_TRUE(t.janela.isMinimized());
}

TEST_F(Janela, TheClocksFollowTheClockAndTheWindowHidesAtTwoSeconds) {
  Tela& t = Iniciar();
  EXPECT_TRUE(t.janela.Timer1().isActive());
  EXPECT_EQ(t.janela.Timer1().interval(), 1000);
  Menu("Restaurar1").trigger();
  t.relogio.Avancar(2);
  t.janela.Timer1Tick();
  EXPECT_EQ(Filho<QLabel>("Label7").text(), "00:00:02");
  EXPECT_FALSE(t.janela.isVisible());

  // A double click on the tray icon brings it back.
  emit t.janela.TrayIcon().activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(t.janela.isVisible());
  t.relogio.Avancar(3);
  t.janela.Timer1Tick();
  EXPECT_EQ(Filho<QLabel>("Label4").text(), "14:20:06");
  EXPECT_EQ(Filho<QLabel>("Label6").text(), "14:20:01");
  EXPECT_EQ(Filho<QLabel>("Label7").text(), "00:00:05");
  EXPECT_TRUE(t.janela.isVisible());
  t.relogio.Avancar(86400);
  t.janela.Timer1Tick();
  EXPECT_EQ(Filho<QLabel>("Label7").text(), "00:00:05");
}

TEST_F(Janela, Button1StopsAndStartsThePrintCycleTimer) {
  Tela& t = Iniciar();
  Menu("Restaurar1").trigger();
  QPushButton& button1 = Filho<QPushButton>("Button1");
  EXPECT_EQ(button1.text(), "PARAR");
  EXPECT_TRUE(t.janela.Timer2().isActive());
  EXPECT_EQ(t.janela.Timer2().interval(), 3000);
  Clicar("Button1");
  EXPECT_EQ(button1.text(), "INICIAR");
  EXPECT_FALSE(t.janela.Timer2().isActive());
  Clicar("Button1");
  EXPECT_EQ(button1.text(), "PARAR");
  EXPECT_TRUE(t.janela.Timer2().isActive());
}

TEST_F(Janela, AnErrorInsideTheOrderLoopStopsPollingUntilButton1) {
  // The printer reports paper out: the first ticket fails.
  testing::EscPosPrinterSim impressora;
  impressora.IniciarTcp();
  auto estado = impressora.Estado();
  estado.semPapel = true;
  impressora.SetEstado(estado);
  Tela& t = Iniciar("", true, impressora.NomePortaTcp());
  t.janela.Timer2Tick();
  EXPECT_FALSE(t.janela.Timer2().isActive());
  EXPECT_EQ(Filho<QPushButton>("Button1").text(), "PARAR");
  ASSERT_EQ(CaixasVisiveis().size(), 1u);
  EXPECT_EQ(CaixasVisiveis()[0]->text(), "Impressora Sem Papel");
  EXPECT_EQ(CaixasVisiveis()[0]->windowTitle(), "BILHETOR");
  EXPECT_EQ(t.log.str(), "05/03/2024 14:20:01 Erro: Impressora Sem Papel\n");
  // The window is hidden; the click comes after restoring it.
  Menu("Restaurar1").trigger();
  Clicar("Button1");
  EXPECT_TRUE(t.janela.Timer2().isActive());
  EXPECT_EQ(Filho<QPushButton>("Button1").text(), "PARAR");
}

TEST_F(Janela, ErrorsThatRepeatAreCountedInOneBox) {
  Tela& t = Iniciar();
  // The orders table gone: every tick fails before the order loop, so
  // polling goes on and reports the same error every three seconds.
  banco.Sql("RENAME TABLE imprimir TO imprimir_fora;\n");
  for (int i = 0; i < 4; ++i) t.janela.Timer2Tick();
  EXPECT_TRUE(t.janela.Timer2().isActive());
  ASSERT_EQ(CaixasVisiveis().size(), 1u);
  QMessageBox& caixa = *CaixasVisiveis()[0];
  EXPECT_EQ(caixa.windowTitle(), "BILHETOR (4 vezes)");
  EXPECT_NE(caixa.text().indexOf("imprimir"), -1) << caixa.text().toStdString();
  EXPECT_EQ(caixa.icon(), QMessageBox::Critical);
  // Each one is also a line on standard error.
  std::istringstream linhas(t.log.str());
  int n = 0;
  for (std::string linha; std::getline(linhas, linha); ++n)
    EXPECT_EQ(linha.rfind("05/03/2024 14:20:01 Erro: ", 0), 0u) << linha;
  EXPECT_EQ(n, 4);
  // Closed by the operator, the next error opens a box again.
  QTest::mouseClick(caixa.button(QMessageBox::Ok), Qt::LeftButton);
  EXPECT_TRUE(CaixasVisiveis().empty());
  t.janela.Timer2Tick();
  ASSERT_EQ(CaixasVisiveis().size(), 1u);
  EXPECT_EQ(CaixasVisiveis()[0]->windowTitle(), "BILHETOR");
  banco.Sql("RENAME TABLE imprimir_fora TO imprimir;\n");
}

TEST_F(Janela, ClosingIsRefusedEveryTime) {
  Tela& t = Iniciar();
  Menu("Restaurar1").trigger();
  EXPECT_FALSE(t.janela.close());
  EXPECT_TRUE(t.janela.isVisible());
  Menu("EncerrarPrograma1").trigger();
  EXPECT_TRUE(t.janela.isVisible());
  ASSERT_EQ(CaixasVisiveis().size(), 1u);
  EXPECT_EQ(CaixasVisiveis()[0]->text(), "Não é possível fechar");
  EXPECT_EQ(CaixasVisiveis()[0]->windowTitle(), "Atenção (2 vezes)");
  EXPECT_EQ(CaixasVisiveis()[0]->icon(), QMessageBox::Critical);
}

// Each control of the settings, changed as the operator would, reaches the
// engine at once or only on activation.
TEST_F(Janela, EveryChangeReachesTheEngineAtOnceOrOnActivation) {
  Tela& t = Iniciar();
  Menu("Restaurar1").trigger();
  TPosPrinter& motor = t.form.PosPrinter1;

  struct Chave {
    const char* nome;
    std::function<bool()> motor;
  };
  const std::vector<Chave> chaves = {
      {"cbCortarPapel", [&] { return motor.CortaPapel(); }},
      {"cbControlePorta", [&] { return motor.ControlePorta(); }},
      {"cbTraduzirTags", [&] { return motor.TraduzirTags(); }},
      {"cbIgnorarTags", [&] { return motor.IgnorarTags(); }},
      {"cbHRI", [&] { return motor.ConfigBarras().MostrarCodigo; }},
      {"cbGavetaSinalInvertido", [&] { return motor.ConfigGaveta().SinalInvertido; }},
  };
  for (const Chave& c : chaves) {
    SCOPED_TRACE(c.nome);
    QCheckBox& caixa = Filho<QCheckBox>(c.nome);
    const bool antes = c.motor();
    EXPECT_EQ(caixa.isChecked(), antes);
    QTest::keyClick(&caixa, Qt::Key_Space);
    EXPECT_EQ(caixa.isChecked(), !antes);
    EXPECT_EQ(c.motor(), !antes);
  }

  // Lists act at once: the code page, and the model (which deactivates).
  QTest::keyClick(&Filho<QComboBox>("cbxPagCodigo"), Qt::Key_End);
  EXPECT_EQ(motor.PaginaDeCodigo(), TPosPaginaCodigo::pc1252);
  QTest::keyClick(&Filho<QComboBox>("cbxModelo"), Qt::Key_Home);
  EXPECT_EQ(motor.Modelo(), TPosPrinterModelo::ppTexto);

  // The port acts when it is confirmed, as the device names it, and the
  // serial button shows for serial ports only.
  QLineEdit& porta = *Filho<QComboBox>("cbxPorta").lineEdit();
  Digitar(porta, "com2", true);
  EXPECT_EQ(motor.Porta(), "COM2");
  EXPECT_EQ(porta.text(), "COM2");
  EXPECT_TRUE(Filho<QPushButton>("btSerial").isVisible());
  Digitar(porta, QString::fromStdString("FILE:" + pastas.Saida()), true);
  EXPECT_EQ(motor.Porta(), "FILE:" + pastas.Saida());
  EXPECT_FALSE(Filho<QPushButton>("btSerial").isVisible());

  // Spin boxes and the log file wait for the activation; a typed value is
  // taken as typed (the QR code module width is then clamped by the engine),
  // and the drawer's number and times only go to the file.
  struct Numero {
    const char* nome;
    const char* digitado;
    std::function<int()> motor;
    int ativado;
  };
  const std::vector<Numero> numeros = {
      {"seColunas", "60", [&] { return motor.ColunasFonteNormal(); }, 60},
      {"seEspLinhas", "5", [&] { return int(motor.EspacoEntreLinhas()); }, 5},
      {"seLinhasBuffer", "3", [&] { return motor.LinhasBuffer(); }, 3},
      {"seLinhasPular", "2", [&] { return motor.LinhasEntreCupons(); }, 2},
      {"seBarrasLargura", "3", [&] { return motor.ConfigBarras().LarguraLinha; }, 3},
      {"seBarrasAltura", "80", [&] { return int(motor.ConfigBarras().Altura); }, 80},
      {"seQRCodeTipo", "1", [&] { return int(motor.ConfigQRCode().Tipo()); }, 1},
      {"seQRCodeLarguraModulo", "40", [&] { return int(motor.ConfigQRCode().LarguraModulo()); }, 16},
      {"seQRCodeErrorLevel", "2", [&] { return int(motor.ConfigQRCode().ErrorLevel()); }, 2},
      {"seLogoKC1", "40", [&] { return int(motor.ConfigLogo().KeyCode1); }, 40},
      {"seLogoKC2", "41", [&] { return int(motor.ConfigLogo().KeyCode2); }, 41},
      {"seLogoFatorX", "2", [&] { return int(motor.ConfigLogo().FatorX); }, 2},
      {"seGavetaNum", "2", nullptr, 0},
      {"seGavetaTempoON", "100", [&] { return int(motor.ConfigGaveta().TempoON); }, 50},
      {"seGavetaTempoOFF", "150", [&] { return int(motor.ConfigGaveta().TempoOFF); }, 200},
  };
  std::vector<int> antes;
  for (const Numero& n : numeros) {
    SCOPED_TRACE(n.nome);
    antes.push_back(n.motor ? n.motor() : 0);
    Digitar(*Filho<TSpinEditQt>(n.nome).findChild<QLineEdit*>(), n.digitado);
    if (n.motor) {
      EXPECT_EQ(n.motor(), antes.back());
    }
  }
  // The arrows step within the range.
  for (int i = 0; i < 6; ++i) QTest::keyClick(&Filho<TSpinEditQt>("seLogoFatorY"), Qt::Key_Up);
  EXPECT_EQ(Filho<TSpinEditQt>("seLogoFatorY").Texto(), "4");
  Digitar(Filho<QLineEdit>("edLog"), QString::fromStdString(pastas.Config("motor.log")));
  EXPECT_EQ(motor.ArqLOG(), "");

  Clicar("bAtivar");
  EXPECT_TRUE(CaixasVisiveis().empty());
  EXPECT_TRUE(motor.Ativo());
  for (const Numero& n : numeros) {
    SCOPED_TRACE(n.nome);
    if (n.motor) {
      EXPECT_EQ(n.motor(), n.ativado);
    }
  }
  EXPECT_EQ(motor.ConfigLogo().FatorY, 4);
  EXPECT_EQ(motor.ArqLOG(), pastas.Config("motor.log"));
  const std::string ini = ReadFile(pastas.Config("bilhetor.ini"));
  for (const char* chave : {"Colunas=60", "Modelo=0", "LarguraModulo=40", "Numero=2", "TempoOn=100", "TempoOff=150"})
    EXPECT_NE(ini.find(chave), std::string::npos) << chave;
}

TEST_F(Janela, TheActivationButtonAndTheSerialButtonFollowTheEngine) {
  Tela& t = Iniciar();
  Menu("Restaurar1").trigger();
  QPushButton& ativar = Filho<QPushButton>("bAtivar");
  QPushButton& serial = Filho<QPushButton>("btSerial");
  // A port that cannot be opened: still inactive, the error in the box.
  Digitar(*Filho<QComboBox>("cbxPorta").lineEdit(), QString::fromStdString("FILE:" + pastas.Config("x/y.bin")), true);
  Clicar("bAtivar");
  EXPECT_EQ(ativar.text(), "Ativar");
  EXPECT_TRUE(serial.isEnabled());
  ASSERT_EQ(CaixasVisiveis().size(), 1u);
  EXPECT_TRUE(t.janela.isEnabled());

  Digitar(*Filho<QComboBox>("cbxPorta").lineEdit(), QString::fromStdString("FILE:" + pastas.Saida()), true);
  Clicar("bAtivar");
  EXPECT_EQ(ativar.text(), "Desativar");
  EXPECT_FALSE(serial.isEnabled());
  EXPECT_TRUE(t.form.PosPrinter1.Ativo());
  // While active the port cannot change: the box returns to the device's.
  Digitar(*Filho<QComboBox>("cbxPorta").lineEdit(), "COM1", true);
  EXPECT_EQ(Filho<QComboBox>("cbxPorta").currentText().toStdString(), "FILE:" + pastas.Saida());
  Clicar("bAtivar");
  EXPECT_EQ(ativar.text(), "Ativar");
  EXPECT_TRUE(serial.isEnabled());
  EXPECT_FALSE(t.form.PosPrinter1.Ativo());
}

TEST_F(Janela, ATypedValueSurvivesTheClockTicksButNotAFileReloadWhileActive) {
  Tela& t = Iniciar();
  Menu("Restaurar1").trigger();
  t.janela.Timer2Tick();  // activates with the file's settings
  ASSERT_TRUE(t.form.Ativo());
  QLineEdit& colunas = *Filho<TSpinEditQt>("seColunas").findChild<QLineEdit*>();
  Digitar(colunas, "60");
  QLineEdit& porta = *Filho<QComboBox>("cbxPorta").lineEdit();
  Digitar(porta, "TCP:192.0.2.1");  // being typed, not confirmed
  t.janela.Timer1Tick();
  EXPECT_EQ(colunas.text(), "60");
  EXPECT_EQ(porta.text(), "TCP:192.0.2.1");
  // The next cycle reloads the file over the unsaved columns.
  t.janela.Timer2Tick();
  EXPECT_EQ(colunas.text(), "48");
}

// --- the serial settings dialog ---------------------------------------------------------------

class DialogoSerial : public Janela {
 protected:
  // Opens the dialog with the btSerial button and runs `operador` on it
  // once it is on the screen.
  void Abrir(const std::function<void(QDialog&)>& operador) {
    bool mostrado = false;
    QTimer::singleShot(0, [&] {
      auto* dialogo = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      mostrado = dialogo != nullptr;
      if (!dialogo) return;
      // Active, as a dialog the operator opened: focus moves inside it.
      dialogo->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(dialogo));
      operador(*dialogo);
      // Whatever the operator did, the dialog ends here.
      if (dialogo->isVisible()) dialogo->reject();
    });
    Clicar("btSerial");
    EXPECT_TRUE(mostrado);
  }
  static QComboBox& Lista(QDialog& d, const char* nome) { return *d.findChild<QComboBox*>(nome); }
  static QCheckBox& Caixa(QDialog& d, const char* nome) { return *d.findChild<QCheckBox*>(nome); }
  static void Botao(QDialog& d, const char* nome) {
    QTest::mouseClick(d.findChild<QPushButton*>(nome), Qt::LeftButton);
  }
};

TEST_F(DialogoSerial, OkGivesThePortAsTheDeviceNamesItAndTheParameters) {
  Tela& t = Iniciar("DeviceParams=BAUD=250000 DATA=7\n");
  Menu("Restaurar1").trigger();
  Digitar(*Filho<QComboBox>("cbxPorta").lineEdit(), "COM3", true);
  Abrir([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Porta Serial");
    EXPECT_EQ(Lista(d, "cmbPortaSerial").currentText(), "COM3");
    EXPECT_EQ(d.focusWidget(), &Lista(d, "cmbPortaSerial"));
    // A speed the list does not have: no selection, nothing shown.
    EXPECT_EQ(Lista(d, "cmbBaudRate").currentIndex(), -1);
    EXPECT_EQ(Lista(d, "cmbBaudRate").currentText(), "");
    EXPECT_EQ(Lista(d, "cmbDataBits").currentText(), "7");
    // XON/XOFF turns SoftFlow on; HardFlow then gives RTS/CTS, and SoftFlow
    // goes off with it.
    QTest::keyClick(&Lista(d, "cmbHandShaking"), Qt::Key_Down);
    EXPECT_EQ(Lista(d, "cmbHandShaking").currentText(), "XON/XOFF");
    EXPECT_TRUE(Caixa(d, "chSoftFlow").isChecked());
    QTest::keyClick(&Caixa(d, "chHardFlow"), Qt::Key_Space);
    EXPECT_EQ(Lista(d, "cmbHandShaking").currentText(), "RTS/CTS");
    EXPECT_FALSE(Caixa(d, "chSoftFlow").isChecked());
    // The port typed and not confirmed: OK takes it.
    Digitar(*Lista(d, "cmbPortaSerial").lineEdit(), "com12");
    Botao(d, "btOK");
  });
  EXPECT_EQ(Filho<QComboBox>("cbxPorta").currentText(), "COM12");
  EXPECT_EQ(t.form.PosPrinter1.Device().ParamsString(), "BAUD=250000 DATA=7 HANDSHAKE=RTS/CTS HARDFLOW");
  EXPECT_EQ(t.form.PosPrinter1.Porta(), "COM3");
}

TEST_F(DialogoSerial, CancelGivesNothingBackAndBadSpeedsAreShownOverTheDialog) {
  Tela& t = Iniciar("DeviceParams=BAUD=19200\n");
  Menu("Restaurar1").trigger();
  Digitar(*Filho<QComboBox>("cbxPorta").lineEdit(), "COM3", true);
  Abrir([&](QDialog& d) {
    EXPECT_EQ(Lista(d, "cmbBaudRate").currentText(), "19200");
    // Typed, then left with Tab (Enter would also press OK).
    Digitar(*Lista(d, "cmbBaudRate").lineEdit(), "abc");
    QTest::keyClick(Lista(d, "cmbBaudRate").lineEdit(), Qt::Key_Tab);
    // The error box is over the dialog, the topmost modal window, so the
    // operator can close it.
    ASSERT_EQ(CaixasVisiveis().size(), 1u);
    QMessageBox& caixa = *CaixasVisiveis()[0];
    EXPECT_EQ(caixa.text(), "'abc' is not a valid integer value");
    EXPECT_EQ(QGuiApplication::modalWindow(), caixa.windowHandle());
    QTest::mouseClick(caixa.button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_TRUE(CaixasVisiveis().empty());
    QTest::keyClick(&Lista(d, "cmbParity"), Qt::Key_End);
    Digitar(*Lista(d, "cmbPortaSerial").lineEdit(), "COM7");
    Botao(d, "btCancelar");
  });
  EXPECT_EQ(Filho<QComboBox>("cbxPorta").currentText(), "COM3");
  EXPECT_EQ(t.form.PosPrinter1.Device().ParamsString(), "BAUD=19200");
}

// --- texts --------------------------------------------------------------------------------------

TEST(TextoQt, WindowsTextBothWays) {
  EXPECT_EQ(ParaQt("Impress\xE3o \x80 \x93ok\x94"), QStringLiteral("Impressão € “ok”"));
  // Every byte comes back as it went (the five that Windows-1252 leaves
  // undefined travel as the C1 controls of the same number).
  for (int b = 1; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(DeQt(ParaQt(byte)), byte) << b;
  }
  // What Windows-1252 cannot hold.
  EXPECT_EQ(DeQt(QStringLiteral("Ωmega ✓")), "?mega ?");
}

// --- the picture of the window -----------------------------------------------------------------

TEST_F(Janela, APictureOfTheWindow) {
  // A network printer, after one cycle and an hour of running.
  testing::EscPosPrinterSim impressora;
  impressora.IniciarTcp();
  Tela& t = Iniciar("Colunas=48\nArqLog=/var/log/bilhetor/impressora.log\n", true, impressora.NomePortaTcp());
  Menu("Restaurar1").trigger();
  t.relogio.Avancar(3725);
  t.janela.Timer2Tick();
  t.janela.Timer1Tick();
  ASSERT_TRUE(CaixasVisiveis().empty());
  ASSERT_EQ(Filho<QPushButton>("bAtivar").text(), "Desativar");
  const QPixmap imagem = t.janela.grab();
  ASSERT_FALSE(imagem.isNull());
  EXPECT_EQ(imagem.size(), t.janela.size());
  // BILHETOR_CAPTURA names the file to keep it in (the README's picture).
  if (const char* arquivo = std::getenv("BILHETOR_CAPTURA")) {
    EXPECT_TRUE(imagem.save(arquivo, "PNG")) << arquivo;
  }
}

}  // namespace
}  // namespace bilhetor

// The main window model outside the print cycle: hiding in the tray and
// coming back, the sound file, the serial settings dialog
// opened from the window; the sound file check itself and the one message box.
#include <gtest/gtest.h>

#include <filesystem>

#include "ServidorTeste.h"
#include "app/CaixaMensagem.h"

namespace bilhetor {
namespace {

using testing::JanelaTeste;
using testing::MensagensTeste;
using testing::PastasTeste;
using testing::ReadFile;
using testing::RelogioTeste;
using testing::TempDir;
using testing::WriteFile;

TEST(Janela, HidesInTheTrayOrStaysMinimizedWithoutOne) {
  struct Caso {
    bool bandeja;
    bool visivelEscondida;  // Visivel after a minimize
    std::size_t somAoEsconder;  // sound files opened by the first minimize
  };
  for (const Caso& c : {Caso{true, false, 0}, Caso{false, true, 1}}) {
    SCOPED_TRACE(c.bandeja ? "with a tray" : "without a tray");
    PastasTeste pastas;
    JanelaTeste j(pastas);
    TfrmBilhetor& f = j.form;
    f.BandejaDisponivel = c.bandeja;
    EXPECT_EQ(f.TrayIcon1.Hint, "Vialto Gerenciador da Impress\xE3o");

    // Start-up: minimized.
    f.ApplicationEvents1Minimize();
    EXPECT_EQ(f.Visivel, c.visivelEscondida);
    EXPECT_TRUE(f.Minimizado);
    EXPECT_TRUE(f.TrayIcon1.Visible);
    EXPECT_EQ(j.mediaPlayer.abertos.size(), c.somAoEsconder);

    // Brought back: shown in its normal state; the sound file is opened only
    // when the window was hidden.
    f.TrayIcon1DblClick();
    EXPECT_TRUE(f.Visivel);
    EXPECT_FALSE(f.Minimizado);
    EXPECT_EQ(j.mediaPlayer.abertos, std::vector<std::string>(1, pastas.Pastas().Som));
    f.Restaurar1Click();
    EXPECT_EQ(j.mediaPlayer.abertos.size(), 1u);

    // Hidden by the operator, then by the running-time rule.
    f.ApplicationEvents1Minimize();
    EXPECT_EQ(f.Visivel, c.visivelEscondida);
    EXPECT_TRUE(f.Minimizado);
    f.Restaurar1Click();
    EXPECT_EQ(j.mediaPlayer.abertos.size(), c.bandeja ? 2u : 1u);
    f.HoraInicio = j.relogio.agora;
    j.relogio.Avancar(2);
    f.Timer1Timer();
    EXPECT_EQ(f.Visivel, c.visivelEscondida);
    EXPECT_TRUE(f.Minimizado);
  }
}

TEST(Janela, TheRunningTimeRuleHidesOnlyAtTwoSecondsPastWholeDays) {
  PastasTeste pastas;
  JanelaTeste j(pastas);
  TfrmBilhetor& f = j.form;
  f.HoraInicio = j.relogio.agora;
  f.Restaurar1Click();
  struct Passo {
    long long segundos;  // the clock moves on by this much
    std::string tempo;
    bool visivel;
  };
  // The window is shown again after each hide.
  for (const Passo& p : {Passo{1, "00:00:01", true}, Passo{1, "00:00:02", false}, Passo{1, "00:00:03", true},
                         Passo{86400 - 2, "00:00:01", true}, Passo{1, "00:00:02", false},
                         Passo{86400, "00:00:02", false}}) {
    SCOPED_TRACE(p.tempo);
    j.relogio.Avancar(p.segundos);
    f.Timer1Timer();
    EXPECT_EQ(f.Label7, p.tempo);
    EXPECT_EQ(f.Visivel, p.visivel);
    f.Restaurar1Click();
  }
}

TEST(Janela, ASoundFileThatCannotBeOpenedIsReportedEachTimeTheWindowIsShown) {
  PastasTeste pastas;
  JanelaTeste j(pastas);
  TfrmBilhetor& f = j.form;
  j.mediaPlayer.falha = "sem som";
  f.ApplicationEvents1Minimize();
  EXPECT_FALSE(f.ExecutarTratando([&] { f.Restaurar1Click(); }));
  EXPECT_TRUE(f.Visivel);
  EXPECT_FALSE(f.Minimizado);
  f.ApplicationEvents1Minimize();
  EXPECT_FALSE(f.ExecutarTratando([&] { f.TrayIcon1DblClick(); }));
  EXPECT_TRUE(f.Visivel);
  EXPECT_EQ(j.mensagens.erros, (std::vector<std::string>{"sem som", "sem som"}));

  // The program's own player, on a file that is not there.
  TPastas semSom = pastas.Pastas();
  semSom.Som = pastas.Config("nao-existe/Som.wav");
  MensagensTeste mensagens;
  RelogioTeste relogio;
  TfrmBilhetor g(semSom, relogio, mensagens);
  g.ApplicationEvents1Minimize();
  EXPECT_FALSE(g.ExecutarTratando([&] { g.Restaurar1Click(); }));
  EXPECT_EQ(mensagens.erros, std::vector<std::string>{"N\xE3o foi poss\xEDvel abrir o arquivo de som " + semSom.Som +
                                                      ": No such file or directory"});
}

// The serial settings dialog opened from the window: what it is given, and
// what comes back on OK and on Cancel.
TEST(Janela, TheSerialDialogGetsThePortAndParametersAndOnlyOkGivesThemBack) {
  struct Caso {
    const char* nome;
    std::string params;     // DeviceParams in the settings file
    std::string portaDigitada;  // empty: the port is left alone
    int handshake;          // -1: left alone
    TModalResult fechamento;
    std::string porta, paramsDepois;  // cbxPorta and the engine's parameters afterwards
  };
  const std::vector<Caso> casos = {
      {"OK copies the port as the device holds it and the parameters", "BAUD=19200 PARITY=E", "com12", 1,
       TModalResult::mrOk, "COM12", "BAUD=19200 PARITY=E HANDSHAKE=XON/XOFF SOFTFLOW"},
      {"Cancel copies nothing", "BAUD=19200 PARITY=E", "com12", 1, TModalResult::mrCancel, "COM3",
       "BAUD=19200 PARITY=E"},
      {"closed with neither button copies nothing", "BAUD=19200", "COM5", -1, TModalResult::mrNone, "COM3",
       "BAUD=19200"},
      {"a speed not in the list goes back unchanged", "BAUD=250000 DATA=7", "", -1, TModalResult::mrOk, "COM3",
       "BAUD=250000 DATA=7"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    PastasTeste pastas;
    pastas.EscreverIni("[PosPrinter]\nPorta=COM3\nDeviceParams=" + c.params + "\n");
    JanelaTeste j(pastas);
    TfrmBilhetor& f = j.form;
    f.CarregarConfiguracao();
    ASSERT_TRUE(f.btSerial.Visible);
    j.dialogos.operador = [&](TfrConfiguraSerial& d) {
      // Shown on the engine's port and parameters.
      EXPECT_EQ(d.Device().Porta(), "COM3");
      EXPECT_EQ(d.cmbPortaSerial.Text, "COM3");
      EXPECT_EQ(d.Device().ParamsString(), c.params);
      if (c.params.rfind("BAUD=250000", 0) == 0) {
        EXPECT_EQ(d.cmbBaudRate.ItemIndex, -1);
        EXPECT_EQ(d.cmbBaudRate.Text, "");
        EXPECT_EQ(d.cmbDataBits.ItemSelecionado(), "7");
      } else {
        EXPECT_EQ(d.cmbBaudRate.Text, "19200");
      }
      if (!c.portaDigitada.empty()) {
        d.cmbPortaSerial.Text = c.portaDigitada;
        d.cmbPortaSerialChange();
      }
      if (c.handshake >= 0) {
        d.cmbHandShaking.ItemIndex = c.handshake;
        d.cmbHandShakingChange();
      }
      if (c.fechamento == TModalResult::mrOk) d.btOKClick();
      if (c.fechamento == TModalResult::mrCancel) d.btCancelarClick();
    };
    f.btSerialClick();
    EXPECT_EQ(j.dialogos.vezes, 1);
    EXPECT_EQ(f.cbxPorta.Text, c.porta);
    EXPECT_EQ(f.PosPrinter1.Device().ParamsString(), c.paramsDepois);
    // The engine's port changes only at the next activation.
    EXPECT_EQ(f.PosPrinter1.Porta(), "COM3");
  }
}

TEST(Janela, WithoutAWindowTheSerialDialogCannotBeShown) {
  PastasTeste pastas;
  MensagensTeste mensagens;
  RelogioTeste relogio;
  TfrmBilhetor f(pastas.Pastas(), relogio, mensagens);
  EXPECT_FALSE(f.ExecutarTratando([&] { f.btSerialClick(); }));
  ASSERT_EQ(mensagens.erros.size(), 1u);
  EXPECT_EQ(mensagens.erros[0], "Sem janela: o di\xE1logo n\xE3o pode ser mostrado");
}

// --- the sound file -------------------------------------------------------------------------

TEST(MediaPlayerArquivo, OpensWaveFilesOnlyAndSaysWhyNot) {
  TempDir dir;
  const std::string som = ReadFile(testing::SourceDir() + "/share/Som.wav");
  ASSERT_GT(som.size(), 44u);
  const auto le4 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  const std::string fmt = "fmt " + le4(16) + std::string(16, '\x01');
  struct Caso {
    const char* nome;
    std::string conteudo;
    std::string motivo;  // empty: opens
  };
  const std::vector<Caso> casos = {
      {"the committed sound file", som, ""},
      {"chunks after an odd-sized one", "RIFF" + le4(0) + "WAVE" + "LIST" + le4(3) + "abc" + std::string(1, '\0') +
                                            fmt + "data" + le4(2) + "xy",
       ""},
      {"empty", "", "sem o cabe\xE7" "alho RIFF/WAVE"},
      {"text", "isto nao e um som, nem de longe", "sem o cabe\xE7" "alho RIFF/WAVE"},
      {"RIFF of another form", "RIFF" + le4(4) + "AVI " + fmt, "sem o cabe\xE7" "alho RIFF/WAVE"},
      {"no format", "RIFF" + le4(12) + "WAVE" + "data" + le4(0), "sem o bloco fmt"},
      {"no data", "RIFF" + le4(28) + "WAVE" + fmt, "sem o bloco data"},
      {"short format", "RIFF" + le4(0) + "WAVE" + "fmt " + le4(8) + std::string(8, '\0') + "data" + le4(0),
       "bloco fmt curto"},
      {"cut short", som.substr(0, 60), "bloco data cortado"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    const std::string arquivo = dir / "som.wav";
    WriteFile(arquivo, c.conteudo);
    TMediaPlayerArquivo player;
    if (c.motivo.empty()) {
      EXPECT_NO_THROW(player.Abrir(arquivo));
      continue;
    }
    try {
      player.Abrir(arquivo);
      ADD_FAILURE() << "opened";
    } catch (const EMediaPlayer& e) {
      EXPECT_EQ(e.Message(), "O arquivo de som " + arquivo + " n\xE3o \xE9 um arquivo WAVE: " + c.motivo);
    }
  }
  TMediaPlayerArquivo player;
  EXPECT_THROW(player.Abrir(dir.Path().string()), EMediaPlayer);
}

// --- the one message box ----------------------------------------------------------------------

TEST(CaixaMensagem, RepeatsAreCountedOtherMessagesTakeTheBoxOver) {
  TCaixaMensagem caixa;
  EXPECT_FALSE(caixa.Aberta());
  for (int i = 0; i < 3; ++i) caixa.Receber("Lost connection", kTituloErro, TIconeMensagem::Erro);
  EXPECT_TRUE(caixa.Aberta());
  EXPECT_EQ(caixa.Vezes(), 3);
  EXPECT_EQ(caixa.Titulo(), "BILHETOR (3 vezes)");
  EXPECT_EQ(caixa.Texto(), "Lost connection");

  // Another text, or the same text under another caption, replaces it.
  caixa.Receber("Lost connection", "Aten\xE7\xE3o", TIconeMensagem::Aviso);
  EXPECT_EQ(caixa.Titulo(), "Aten\xE7\xE3o");
  EXPECT_EQ(caixa.Icone(), TIconeMensagem::Aviso);
  caixa.Receber("Impressora Sem Papel", kTituloErro, TIconeMensagem::Erro);
  EXPECT_EQ(caixa.Vezes(), 1);
  EXPECT_EQ(caixa.Titulo(), "BILHETOR");
  EXPECT_EQ(caixa.Texto(), "Impressora Sem Papel");

  // Closed: the same message starts a new count.
  caixa.Fechar();
  EXPECT_FALSE(caixa.Aberta());
  caixa.Receber("Impressora Sem Papel", kTituloErro, TIconeMensagem::Erro);
  EXPECT_TRUE(caixa.Aberta());
  EXPECT_EQ(caixa.Vezes(), 1);
}

}  // namespace
}  // namespace bilhetor

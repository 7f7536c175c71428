#pragma once
// TfrmBilhetor: the print server's main window as a plain model. It owns the
// printer engine, the database connection with its four queries, the timers
// and the state of every control, and its handlers are the whole behaviour of
// the print server: start-up (FormCreate), the settings file
// (CarregarConfiguracao, SalvarConfiguracao), activation (bAtivarClick), the
// change handlers of the settings controls, the clocks (Timer1Timer) and the
// print cycle (Timer2Timer, CicloImpressao). A window (or the headless loop)
// shows the state and calls the handlers; it holds no logic of its own.
//
// States and the handlers that move between them:
// - Engine inactive / active. Told apart by btSerial: enabled while inactive,
//   disabled while active; bAtivar reads "Ativar" and "Desativar". bAtivarClick
//   moves either way (activation applies every control to the engine and, when
//   it succeeds, saves the settings file); Timer2Timer activates an inactive
//   engine before each cycle. cbxModeloChange deactivates the engine itself
//   without touching the button (the next print then fails "Não está Ativo").
// - Polling running / stopped: Timer2.Enabled(). Button1Click toggles it and
//   its caption ("PARAR" while the click would stop). CicloImpressao disables
//   it around the order loop and enables it after; an error inside the loop
//   leaves it stopped (the caption still reads "PARAR").
// - Window hidden / shown: Visivel and Minimizado. The program starts
//   minimized, which runs ApplicationEvents1Minimize: the window hides in the
//   tray. ApplicationEvents1Minimize (the operator minimized it) and
//   Timer1Timer (the running time reads "00:00:02") hide it again;
//   TrayIcon1DblClick and Restaurar1Click show it in its normal state. Each
//   time it goes from hidden to shown, FormShow opens the sound file (an
//   error there reaches the default error box; the window stays shown).
//   Where the desktop has no notification area (BandejaDisponivel false),
//   hiding leaves the window minimized and shown instead, so that it can
//   always be brought back.
// - The window never closes: FormClose (the close button, the system menu)
//   and EncerrarPrograma1Click (the tray menu) say so and refuse.
// - Terminado(): start-up failed and asked the program to end.
//
// Handlers let errors out; whoever calls them shows the error with
// TMensagens::MostrarErro (ExecutarTratando does exactly that).
//
// btSerialClick shows the serial settings dialog (TfrConfiguraSerial) through
// TDialogos, and FormShow opens the sound file through TMediaPlayer, so that
// the model runs and is tested without a display.
//
// The print cycle itself, its statements and the journal of printed tickets
// are TCicloImpressao's (app/CicloImpressao.h); Timer2Timer drives it.
// - Active / standby: only the server that holds the database's lock prints
//   (TCicloImpressao::ObterVez). On standby the tick opens no printer, an
//   active engine is deactivated, and the caption and the tray hint say so.
// - A settings file that cannot be written after an activation is reported
//   once; the engine stays active with the settings in memory.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Avisos.h"
#include "app/CicloImpressao.h"
#include "app/ConfiguracaoImpressora.h"
#include "app/Controles.h"
#include "app/Plataforma.h"
#include "app/TabelaConfiguracao.h"
#include "db/DbAccess.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

// The texts of the window (Windows-1252).
inline constexpr const char* kCaptionJanela = "SERVIDOR DE IMPRESS\xC3O";
inline constexpr const char* kTituloAtencao = "Aten\xE7\xE3o";
inline constexpr const char* kMsgSemArquivoSistema = "N\xE3o existe o arquivo de configura\xE7\xE3o do sistema";
inline constexpr const char* kMsgSemConexao = "N\xE3o foi poss\xEDvel conectar ao banco de dados.";
inline constexpr const char* kMsgJaAberto = "Este programa j\xE1 est\xE1 aberto.";
inline constexpr const char* kMsgUmaInstancia = "N\xE3o posso permitir mais de uma inst\xE2ncia aberta.";
inline constexpr const char* kSenhas[] = {"5209384kq", "5209384"};
inline constexpr const char* kMsgNaoFechar = "N\xE3o \xE9 poss\xEDvel fechar";
inline constexpr const char* kDicaBandeja = "Vialto Gerenciador da Impress\xE3o";
inline constexpr const char* kMenuRestaurar = "Restaurar";
inline constexpr const char* kMenuEncerrar = "Encerrar Programa";

// The characters "0" to "9" of Texto, in order; "00000000000" when none.
std::string SomenteDigitos(const std::string& Texto);

// The database server from the lines of sys.txt: the first line is the host,
// whole; an optional second line holds the port (1 to 65535). A second line
// that is not a port is ignored, with a warning in Aviso.
struct TServidorBanco {
  std::string Host;
  int Porta = 3306;
  // Set when the second line is not a port: it is then ignored.
  std::string Aviso;
};
TServidorBanco LerServidorBanco(const std::string& conteudo);

// The tray icon: its hint and whether it shows. Its menu holds "Restaurar",
// a separator and "Encerrar Programa".
struct TTrayIcon {
  std::string Hint;
  bool Visible = true;
};

class TfrmBilhetor {
 public:
  // Without a window: no dialog can be shown (TSemDialogos), and the sound
  // file is checked on disk (TMediaPlayerArquivo).
  TfrmBilhetor(TPastas pastas, TRelogioLocal& relogio, TMensagens& mensagens);
  TfrmBilhetor(TPastas pastas, TRelogioLocal& relogio, TMensagens& mensagens, TDialogos& dialogos,
               TMediaPlayer& mediaPlayer);
  ~TfrmBilhetor();
  TfrmBilhetor(const TfrmBilhetor&) = delete;
  TfrmBilhetor& operator=(const TfrmBilhetor&) = delete;

  // --- components --------------------------------------------------------------
  TPosPrinter PosPrinter1;
  TDbConnection DbConnection1;
  TTimer Timer1{1000};
  TTimer Timer2{3000};

  // --- window ------------------------------------------------------------------
  std::string Caption = kCaptionJanela;
  bool Enabled = true;
  bool Visivel = false;
  bool Minimizado = true;
  std::string Label4 = "00:00:00";   // current time
  std::string Label6 = "00:00:00";   // start time
  std::string Label7 = "00:00:00";   // running time
  std::string Label10 = "00:00:00";  // end of the last complete tick
  TDataHora HoraInicio;
  TButton Button1{"PARAR"};
  TButton bAtivar{"Ativar"};
  TButton btSerial{"Serial"};
  TTrayIcon TrayIcon1{kDicaBandeja, true};
  // Whether the desktop has a notification area (the window sets it).
  bool BandejaDisponivel = true;

  // --- printer settings controls ------------------------------------------------
  TComboBox cbxModelo;
  TComboBox cbxPorta;
  TComboBox cbxPagCodigo;
  // Ranges and labels from the table of settings (TabelaConfiguracao).
  TSpinEdit seColunas = SpinDe("PosPrinter", "Colunas");
  TSpinEdit seEspLinhas = SpinDe("PosPrinter", "EspacoEntreLinhas");
  TSpinEdit seLinhasBuffer = SpinDe("PosPrinter", "LinhasBuffer");
  TSpinEdit seLinhasPular = SpinDe("PosPrinter", "LinhasPular");
  TCheckBox cbCortarPapel = CaixaDe("PosPrinter", "CortarPapel");
  TCheckBox cbControlePorta = CaixaDe("PosPrinter", "ControlePorta");
  TCheckBox cbTraduzirTags = CaixaDe("PosPrinter", "TraduzirTags");
  TCheckBox cbIgnorarTags = CaixaDe("PosPrinter", "IgnorarTags");
  std::string edLog;
  TSpinEdit seBarrasLargura = SpinDe("Barras", "Largura");
  TSpinEdit seBarrasAltura = SpinDe("Barras", "Altura");
  TCheckBox cbHRI = CaixaDe("Barras", "HRI");
  TSpinEdit seQRCodeTipo = SpinDe("QRCode", "Tipo");
  TSpinEdit seQRCodeLarguraModulo = SpinDe("QRCode", "LarguraModulo");
  TSpinEdit seQRCodeErrorLevel = SpinDe("QRCode", "ErrorLevel");
  TSpinEdit seLogoKC1 = SpinDe("Logo", "KC1");
  TSpinEdit seLogoKC2 = SpinDe("Logo", "KC2");
  TSpinEdit seLogoFatorX = SpinDe("Logo", "FatorX");
  TSpinEdit seLogoFatorY = SpinDe("Logo", "FatorY");
  TSpinEdit seGavetaNum = SpinDe("Gaveta", "Numero");
  TSpinEdit seGavetaTempoON = SpinDe("Gaveta", "TempoOn");
  TSpinEdit seGavetaTempoOFF = SpinDe("Gaveta", "TempoOff");
  TCheckBox cbGavetaSinalInvertido = CaixaDe("Gaveta", "SinalInvertido");

  // --- start-up and settings ----------------------------------------------------
  void FormCreate();
  void CarregarConfiguracao();
  void SalvarConfiguracao();
  bool Terminado() const { return terminado_; }
  // Start-up ended because the database could not be reached (ConectarBanco
  // may then be tried again).
  bool SemBanco() const { return semBanco_; }
  const std::string& MotivoSemBanco() const { return motivoSemBanco_; }
  // Connects with the two passwords; false, with the last attempt's error in
  // motivo, when neither is accepted.
  bool ConectarBanco(std::string& motivo);
  // After a connection made by ConectarBanco outside FormCreate: the
  // journal's owed marks and the rest of start-up.
  void BancoConectado();
  const TPastas& Pastas() const { return pastas_; }
  // The settings file: the program's name with ".ini" in the settings folder.
  std::string ArquivoIni() const;
  // The journal of printed tickets in the state folder.
  std::string ArquivoDiario() const;
  TCicloImpressao& Ciclo() { return ciclo_; }
  bool EmEspera() const { return ciclo_.EmEspera(); }

  // --- activation and change handlers --------------------------------------------
  void bAtivarClick();
  void cbxModeloChange();
  void cbxPortaChange();
  void cbxPagCodigoChange();
  void cbControlePortaClick();
  void cbCortarPapelClick();
  void cbTraduzirTagsClick();
  void cbIgnorarTagsClick();
  void cbHRIClick();
  void cbGavetaSinalInvertidoClick();
  // Opens the serial settings dialog on the engine's port and parameter
  // string; OK gives the dialog's port to cbxPorta and its parameter string
  // to the engine's device (the port reaches the engine and the settings
  // file at the next activation). Cancel changes nothing.
  void btSerialClick();
  bool Ativo() const { return !btSerial.Enabled; }

  // --- timers, polling and the window ---------------------------------------------
  void Timer1Timer();
  void Timer2Timer();
  void CicloImpressao();
  void Button1Click();

  // --- the window and the tray icon ------------------------------------------------
  // The sound file opened, nothing played.
  void FormShow();
  // Says "Não é possível fechar"; returns false: the close is refused.
  bool FormClose();
  void ApplicationEvents1Minimize();
  // The tray icon's balloon has no text: a single click shows nothing.
  void TrayIcon1Click() {}
  void TrayIcon1DblClick();
  void Restaurar1Click();
  void EncerrarPrograma1Click();

  // Runs a handler; an error it lets out goes to the default error box.
  // Returns false when there was one.
  bool ExecutarTratando(const std::function<void()>& handler);
  TMensagens& Mensagens() { return mensagens_; }
  TRelogioLocal& Relogio() { return relogio_; }

 private:
  void Preparar();
  // The journal and the ticket limit, from the settings file.
  void ConfigurarCiclo();
  void MostrarEspera(bool emEspera);
  // Into the tray (or minimized where there is none).
  void Esconder();
  // Shown, minimized or in its normal state; FormShow when it was hidden.
  void Mostrar(bool minimizado);
  void DefinirMarcado(TCheckBox& caixa, bool marcado, void (TfrmBilhetor::*handler)());
  TConfiguracaoImpressora ConfiguracaoDoMotor();
  TConfiguracaoImpressora ConfiguracaoDosControles();
  // The first existing of <settings folder>/nome and <fixed folder>/nome; empty when neither.
  std::string AcharArquivo(const std::string& nome) const;

  TPastas pastas_;
  TRelogioLocal& relogio_;
  TMensagens& mensagens_;
  // The dialogs and the media player of a form made without a window.
  std::unique_ptr<TDialogos> semDialogos_;
  std::unique_ptr<TMediaPlayer> mediaPlayerArquivo_;
  TDialogos& dialogos_;
  TMediaPlayer& mediaPlayer_;
  bool terminado_ = false;
  bool semBanco_ = false;
  std::string motivoSemBanco_;
  std::string captionAtivo_;
  TAvisos avisos_{mensagens_};
  TCicloImpressao ciclo_{PosPrinter1, DbConnection1, relogio_, mensagens_, avisos_};
};

}  // namespace bilhetor

#pragma once
// The services of the machine that the print server uses, behind small
// interfaces so that tests drive the whole application without a display, a
// real clock or the real folders, and so that another platform can provide
// them: the local clock, the message boxes (and the default error box), the
// modal dialogs, the media player that opens the sound file, the folders of
// the program, the modification time of a file, the lock that keeps a second
// copy from running, and the loading of the window.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/TicketSeparacao.h"
#include "common/Exception.h"
#include "device/SaidaArquivo.h"

namespace bilhetor {

// The local date and time (the clocks of the window, the ticket's date line).
class TRelogioLocal {
 public:
  virtual ~TRelogioLocal() = default;
  virtual TDataHora Agora() const = 0;
};

// The machine's local time.
class TRelogioSistema : public TRelogioLocal {
 public:
  TDataHora Agora() const override;
};

enum class TIconeMensagem { Informacao, Aviso, Erro };

// Message boxes: the ones the program shows itself (text, caption and icon)
// and the default error box, which shows the message of an error that a
// handler let out.
class TMensagens {
 public:
  virtual ~TMensagens() = default;
  virtual void Mostrar(const std::string& Texto, const std::string& Titulo, TIconeMensagem Icone) = 0;
  virtual void MostrarErro(const std::string& Mensagem) = 0;
  // A line for the log (a ticket printed, standby, a takeover); no box.
  virtual void Informar(const std::string& /*Texto*/) {}
};

// Runs a handler of a window; an error it lets out goes to the default error
// box (a silent abort of the database components shows nothing). Returns
// false when there was one.
bool ExecutarTratando(TMensagens& mensagens, const std::function<void()>& handler);

class TfrConfiguraSerial;

// How a modal dialog was closed.
enum class TModalResult { mrNone, mrOk, mrCancel };

// The modal dialogs of the main window. The window shows them and waits;
// tests answer them.
class TDialogos {
 public:
  virtual ~TDialogos() = default;
  // Shows the serial settings dialog (its FormShow has already run) until the
  // operator closes it; returns its ModalResult (mrCancel when it was closed
  // with neither button).
  virtual TModalResult MostrarModal(TfrConfiguraSerial& Dialogo) = 0;
};

// No display: no dialog can be shown. Raises Exception.
class TSemDialogos : public TDialogos {
 public:
  TModalResult MostrarModal(TfrConfiguraSerial& Dialogo) override;
};

// Raised when the sound file cannot be opened.
BILHETOR_DECLARE_ERROR(EMediaPlayer);

// The window's media player: it opens a wave file and plays nothing.
class TMediaPlayer {
 public:
  virtual ~TMediaPlayer() = default;
  // Raises EMediaPlayer when the file cannot be read or is not a wave file.
  virtual void Abrir(const std::string& Arquivo) = 0;
};

// Opens the file and checks that it is a RIFF/WAVE file: the RIFF header,
// the WAVE form type and a "fmt " chunk within the file.
class TMediaPlayerArquivo : public TMediaPlayer {
 public:
  void Abrir(const std::string& Arquivo) override;
};

// The platform's own places (PastasPosix.cpp, PastasWin32.cpp):
// - the fixed folder of sys.txt and banco.txt: /etc/bilhetor, C:\bkp;
// - the sound file that the window opens each time it is shown:
//   /usr/share/bilhetor/Som.wav, C:\Vialto\Musica\Som.wav.
std::string PastaFixaPadrao();
std::string ArquivoSomPadrao();
// (The folder of the device files is the device layer's
// PastaDispositivosPadrao.)

// Whether the program file is an installed copy (under /usr/; on Windows
// under the Program Files folder, which only administrators may write),
// which takes its settings from the fixed folder when no --pasta is given
// rather than from its own folder.
bool ExecutavelInstalado(const std::string& executavel);

// Where the program finds its files.
struct TPastas {
  // The program file: the settings file is its path with the extension
  // replaced by ".ini", and its modification time stamps the caption.
  std::string Executavel;
  // The folder of sys.txt, banco.txt and the settings file; the program's
  // own folder unless the command line names another.
  std::string Configuracao;
  // The fallback folder of sys.txt and banco.txt.
  std::string Fixa = PastaFixaPadrao();
  // The folder of the device files in which the serial ports are searched.
  std::string Dispositivos = PastaDispositivosPadrao();
  // The sound file of the window.
  std::string Som = ArquivoSomPadrao();
  // The folder of the journal of printed tickets (PastaEstado()).
  std::string Estado;
};

// The server's state folder: $STATE_DIRECTORY (the service manager's
// StateDirectory=), else $XDG_STATE_HOME/bilhetor, else
// ~/.local/state/bilhetor; on Windows %LOCALAPPDATA%\Bilhetor. Empty when
// none of them is known.
std::string PastaEstado();

// The program file of the running program ("/proc/self/exe" resolved; the
// module file name on Windows).
std::string ExecutavelAtual();
std::string PastaDe(const std::string& arquivo);

// The last modification of a file in local time; none when it cannot be read.
std::optional<TDataHora> DataModificacao(const std::string& arquivo);

// Milliseconds between two local times (b - a), counted on the calendar.
long long MilissegundosEntre(const TDataHora& a, const TDataHora& b);

// "hh:nn:ss" of a local time.
std::string FormatarHora(const TDataHora& momento);
// "dd/mm/yyyy" of a local date.
std::string FormatarData(const TDataHora& momento);

// An exclusive lock held for the life of the object: the sign that a copy of
// the program runs. The lock file is named after the main window's class and
// lives in a folder that only the user can write, so that no other local user
// can take the name first and keep the program from starting:
// - the user's runtime folder ($XDG_RUNTIME_DIR) when set; the session
//   manager creates it as the user's own, so it is taken as given;
// - else the private folder bilhetor-<uid> under /tmp, created with mode
//   0700. When it is already there it must be a real folder (not a link) of
//   this user that neither group nor others may write; else the lock is
//   refused and Erro() names the folder and what is wrong with it. There is
//   deliberately no fallback folder: a copy that locked elsewhere would not
//   see a copy that locked here, and two copies would run.
// The lock file is opened without following a link and refused unless it is
// a regular file of this user.
class TInstanciaUnica {
 public:
  explicit TInstanciaUnica(const std::string& nome);
  // The same lock with the folders given: runtime is the runtime folder
  // (empty: none), base the folder in which the private folder is made.
  TInstanciaUnica(const std::string& nome, const std::string& runtime, const std::string& base);
  ~TInstanciaUnica();
  TInstanciaUnica(const TInstanciaUnica&) = delete;
  TInstanciaUnica& operator=(const TInstanciaUnica&) = delete;

  // True when this process holds the lock.
  bool Obtida() const { return trava_ != kSemTrava; }
  // True when another process holds it (false also when the lock file could
  // not be opened or was refused; Erro then says why).
  bool EmUso() const { return emUso_; }
  // "<lock file>: <reason>"; empty when the lock was taken or is in use.
  const std::string& Erro() const { return erro_; }
  const std::string& Arquivo() const { return arquivo_; }

 private:
  static constexpr std::intptr_t kSemTrava = -1;
  std::string arquivo_;
  std::string erro_;
  // The open lock file (a descriptor; a handle on Windows).
  std::intptr_t trava_ = kSemTrava;
  bool emUso_ = false;
};

// The window of the print server lives in a module of its own
// (bilhetor-janela.so beside the program, or in ../lib/bilhetor), loaded
// only when a window is wanted, so that the headless server never maps the
// GUI toolkit. The module runs the whole program in window mode and returns
// its exit status, or kSemTela when no display can be opened (the caller
// then runs without a window).
inline constexpr int kSemTela = -1;

// The display, looked at once, before the window module is loaded.
enum class TTela {
  Nenhuma,     // neither DISPLAY nor WAYLAND_DISPLAY: headless
  Plataforma,  // QT_QPA_PLATFORM names Qt's platform, or Windows' desktop: taken as given
  X,           // an X server at DISPLAY accepts a connection
  Wayland,     // WAYLAND_DISPLAY (the window checks that Qt can use it)
  Muda,        // DISPLAY names an X server that does not answer
};
TTela VerTela();

// The lines of the program's help that differ between the platforms.
struct TAjudaPlataforma {
  const char* Tela;    // where the window shows and what ends it
  const char* Parada;  // the rest of --headless: what ends it
  const char* Pasta;   // --pasta and its default
  const char* Estado;  // --estado and its default
};
TAjudaPlataforma AjudaDaPlataforma();

// The module's entry point: the program file, its settings and state
// folders, and the display as VerTela saw it.
using TExecutarJanela = int (*)(const char* executavel, const char* pasta, const char* estado, int tela);
// bilhetor-janela.so; bilhetor-janela.dll on Windows.
extern const char* const kModuloJanela;
inline constexpr const char* kEntradaJanela = "bilhetor_executar_janela";

// An X server at DISPLAY that accepts a connection (asked through libxcb,
// loaded for the question and unloaded after).
bool ServidorXResponde();

// Loads the window module found for the program file; null when it is
// missing or cannot be loaded, with the reason in falha. The module stays
// loaded for the life of the process.
TExecutarJanela CarregarJanela(const std::string& executavel, std::string& falha);

// Loads a module of the program, from the program's folder or from
// ../lib/bilhetor beside it (where the package installs them), and returns
// its entry point; nullptr with the reason in falha when it is missing or
// cannot be loaded. A loaded module stays for the life of the process.
void* CarregarModulo(const std::string& executavel, const char* nome, const char* entrada, std::string& falha);

}  // namespace bilhetor

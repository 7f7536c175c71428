#pragma once
// The print server without a window, for servers and service managers: the
// same main window model, driven by its own one-second and three-second
// timers. What the window would show in a message box is written to standard
// error as one line with the date and time.
//
// Where nobody can click: an error inside a tick is reported and the next
// tick polls again (the window would stop polling until the operator clicks
// "INICIAR"). The same error is reported once while it lasts, and its end is
// said in one line ("... de volta"). After a printer or settings error an
// active engine is deactivated, so that the next tick opens the printer
// afresh (a network printer that was restarted, a serial adapter that was
// plugged back in); a database error leaves the printer alone. An inactive
// engine takes the settings file before it is activated, so that an edit of
// the file (a new port, say) is what the next activation uses.
//
// A database that cannot be reached at start-up (a machine that boots before
// its database server) is waited for: the connection is tried again every
// kSegundosEsperaBanco seconds, each new reason reported once, until it
// succeeds or a stop is asked for.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/Bilhetor.h"
#include "app/Plataforma.h"

namespace bilhetor {

// Message boxes as lines on a stream: "dd/mm/yyyy hh:nn:ss " + caption + ": "
// + text, line breaks of the text turned into blanks, in UTF-8. For the
// journal, each line begins with its priority: "<3>" for errors and error
// boxes, "<4>" for warning boxes, "<6>" for the rest.
class TMensagensTerminal : public TMensagens {
 public:
  TMensagensTerminal(std::ostream& saida, const TRelogioLocal& relogio, bool prioridades = false)
      : saida_(saida), relogio_(relogio), prioridades_(prioridades) {}
  void Mostrar(const std::string& Texto, const std::string& Titulo, TIconeMensagem Icone) override;
  void MostrarErro(const std::string& Mensagem) override;
  // An information line in the same form, without a caption.
  void Informar(const std::string& Texto) override;

 private:
  void Linha(int prioridade, const std::string& texto);
  std::ostream& saida_;
  const TRelogioLocal& relogio_;
  bool prioridades_;
};

// The passing of time for the loop: a monotonic clock in milliseconds, and a
// wait that ends early when the program is asked to stop.
class TTemporizador {
 public:
  virtual ~TTemporizador() = default;
  virtual int64_t AgoraMs() = 0;
  // Waits up to ms milliseconds; false when a stop was asked for (before or
  // during the wait).
  virtual bool Esperar(int64_t ms) = 0;
  // True once a stop has been asked for (without waiting or taking it): a
  // long wait elsewhere (on the database) can then give up.
  virtual bool ParadaPedida() { return false; }
};

// SIGTERM and SIGINT ask for the stop. They are blocked from construction on,
// so that one arriving during a tick waits for the tick to end and is taken
// by the next wait: the program never ends in the middle of a ticket. On
// Windows the stop is Ctrl-C, Ctrl-Break, closing the console, logging off or
// shutting down, taken the same way.
class TTemporizadorSinais : public TTemporizador {
 public:
  TTemporizadorSinais();
  ~TTemporizadorSinais() override;
  int64_t AgoraMs() override;
  bool Esperar(int64_t ms) override;
  bool ParadaPedida() override;
};

inline constexpr int kSegundosEsperaBanco = 5;

class TServidorHeadless {
 public:
  TServidorHeadless(TfrmBilhetor& form, TTemporizador& temporizador) : form_(form), temporizador_(temporizador) {}

  // Start-up, then ticks until a stop is asked for. Returns the exit status:
  // 0 after a stop, 1 when start-up failed.
  int Executar();

  // Called once start-up has succeeded, after every tick of the print cycle
  // and after every tick of the clocks (the service manager's readiness and
  // watchdog).
  std::function<void()> AoIniciar;
  // Called once when start-up begins to wait for the database.
  std::function<void()> AoEsperarBanco;
  std::function<void()> AposCiclo;
  std::function<void()> AposRelogio;

 private:
  void TickCiclo();
  // Start-up, waiting for the database as long as it takes: -1 when the
  // server is running, else the exit status (0 stopped, 1 failed).
  int Iniciar();

  TfrmBilhetor& form_;
  TTemporizador& temporizador_;
  // The error of the last failed tick (reported once) and whether it came
  // from the database.
  std::string ultimoErro_;
  bool erroDoBanco_ = false;
};

// The bilhetor program: reads the command line, keeps a second copy from
// running and runs the print server: in the window (loaded with
// CarregarJanela) when a display is there and --headless was not given,
// else headless. A window that cannot be loaded or cannot open the display
// is reported and the server runs headless. Returns the exit status (0
// stopped on request, 1 start-up failed, 2 bad usage). Messages go to erro,
// --help and --version to saida.
int ExecutarBilhetor(const std::vector<std::string>& argumentos, std::ostream& saida, std::ostream& erro,
                     const std::string& executavel);

// What the headless loop and the window share at start and at the end: the
// lock that keeps a second copy from running and the folders of the server,
// the line that says the server is running, and the last line.
class TPartida {
 public:
  TPartida(const std::string& executavel, const std::string& pasta, const std::string& estado);
  // False, after the message of a refused second copy (or of a lock file
  // that cannot be made), when this copy must end.
  bool Obtida(TMensagens& mensagens) const;
  const TPastas& Pastas() const { return pastas_; }

 private:
  TInstanciaUnica instancia_;
  TPastas pastas_;
};
std::string DescricaoEmServico(TfrmBilhetor& form);
inline constexpr const char* kMsgEncerrado = "Bilhetor encerrado.";

}  // namespace bilhetor

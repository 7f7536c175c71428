#pragma once
// What the print server's tests share: a fresh database of the order system
// on the private MariaDB (the schema and sample data of sql/), the folders of
// one print server (sys.txt, banco.txt, the settings file, an empty device
// folder), a clock the test sets, and message boxes that are recorded.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Bilhetor.h"
#include "app/ConfiguraSerial.h"
#include "app/Plataforma.h"
#include "support/TestSupport.h"

namespace bilhetor::testing {

class MariaDbServer;

// A database of its own for one test, dropped at the end. The server's root
// account over TCP accepts the print server's first password.
class BancoTeste {
 public:
  explicit BancoTeste(bool comExemplo = true);
  ~BancoTeste();
  BancoTeste(const BancoTeste&) = delete;
  BancoTeste& operator=(const BancoTeste&) = delete;

  static MariaDbServer& Servidor();
  // Which of the two passwords root accepts over TCP.
  static void SenhaRoot(const std::string& senha);

  const std::string& Nome() const { return nome_; }
  // Runs statements in this database (UTF-8 text); returns the rows,
  // tab-separated.
  std::string Sql(const std::string& comandos) const;
  // "id:numped:impressao" of every row of imprimir, in id order, blank-separated.
  std::string Fila() const;
  // The number of rows of imprimir still waiting.
  int Esperando() const;

 private:
  std::string nome_;
};

class RelogioTeste : public TRelogioLocal {
 public:
  TDataHora Agora() const override { return agora; }
  // Moves the clock on by whole seconds (days and months roll over).
  void Avancar(long long segundos);
  TDataHora agora{2024, 3, 5, 14, 20, 1, 0};
};

class MensagensTeste : public TMensagens {
 public:
  struct Mensagem {
    std::string texto, titulo;
    TIconeMensagem icone;
  };
  void Mostrar(const std::string& Texto, const std::string& Titulo, TIconeMensagem Icone) override {
    caixas.push_back({Texto, Titulo, Icone});
  }
  void MostrarErro(const std::string& Mensagem) override { erros.push_back(Mensagem); }
  void Informar(const std::string& Texto) override { informacoes.push_back(Texto); }
  std::vector<Mensagem> caixas;
  std::vector<std::string> erros;
  std::vector<std::string> informacoes;
};

// The folders of one print server: config/ (sys.txt, banco.txt,
// bilhetor.ini, the program file "bilhetor"), fixa/ (the fallback folder) and
// dev/ (no serial ports) and estado/ (the journal); the sound file is the
// repository's share/Som.wav.
class PastasTeste {
 public:
  PastasTeste();
  const TPastas& Pastas() const { return pastas_; }
  std::string Config(const std::string& nome) const { return pastas_.Configuracao + "/" + nome; }
  std::string Fixa(const std::string& nome) const { return pastas_.Fixa + "/" + nome; }
  std::string Saida() const { return dir_ / "impressora.bin"; }
  // sys.txt and banco.txt in the settings folder for the private server and
  // the database, and a settings file printing to the port (the file port
  // Saida() when empty) with the given extra lines of [PosPrinter].
  void Configurar(const BancoTeste& banco, const std::string& porta = "", const std::string& extraPosPrinter = "");
  void EscreverIni(const std::string& conteudo) const;

 private:
  TempDir dir_;
  TPastas pastas_;
};

// A print server's main window on the test folders, clock and messages.
struct ServidorTeste {
  explicit ServidorTeste(const PastasTeste& pastas) : form(pastas.Pastas(), relogio, mensagens) {}
  RelogioTeste relogio;
  MensagensTeste mensagens;
  TfrmBilhetor form;
};

// The operator of a modal dialog: the test's function acts on the dialog
// while it is shown and sets how it closes.
class DialogosTeste : public TDialogos {
 public:
  TModalResult MostrarModal(TfrConfiguraSerial& dialogo) override {
    ++vezes;
    if (operador) operador(dialogo);
    return dialogo.ModalResult == TModalResult::mrNone ? TModalResult::mrCancel : dialogo.ModalResult;
  }
  std::function<void(TfrConfiguraSerial&)> operador;
  int vezes = 0;
};

// A media player that records the files it opened and fails while told to.
class MediaPlayerTeste : public TMediaPlayer {
 public:
  void Abrir(const std::string& arquivo) override {
    abertos.push_back(arquivo);
    if (!falha.empty()) throw EMediaPlayer(falha);
  }
  std::vector<std::string> abertos;
  std::string falha;
};

// The main window with its dialogs and media player answered by the test.
struct JanelaTeste {
  explicit JanelaTeste(const PastasTeste& pastas)
      : form(pastas.Pastas(), relogio, mensagens, dialogos, mediaPlayer) {}
  RelogioTeste relogio;
  MensagensTeste mensagens;
  DialogosTeste dialogos;
  MediaPlayerTeste mediaPlayer;
  TfrmBilhetor form;
};

// The tagged text of every ticket the engine printed, as its log shows it
// (control bytes by name), one entry per Imprimir.
class TicketsImpressos {
 public:
  explicit TicketsImpressos(TPosPrinter& impressora);
  std::vector<std::string> textos;
};

// The tagged lines joined as the engine's log shows a ticket.
std::string ComoNoLog(const std::vector<std::string>& linhas);

// The bilhetor program that the build made.
std::string ProgramaBilhetor();

}  // namespace bilhetor::testing

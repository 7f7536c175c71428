#include "app/ServidorHeadless.h"

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <ostream>

#include "app/Servico.h"
#include "common/Strings.h"
#include "device/Device.h"
#include "posprinter/CodePage.h"

#ifndef BILHETOR_VERSAO
#define BILHETOR_VERSAO "0"
#endif

namespace bilhetor {

// --- messages -----------------------------------------------------------------------------

void TMensagensTerminal::Linha(int prioridade, const std::string& texto) {
  std::string umaLinha;
  for (std::size_t i = 0; i < texto.size(); ++i) {
    const char c = texto[i];
    if (c == '\r' || c == '\n') {
      if (!umaLinha.empty() && umaLinha.back() != ' ') umaLinha += ' ';
      continue;
    }
    umaLinha += c;
  }
  const TDataHora agora = relogio_.Agora();
  if (prioridades_) saida_ << '<' << prioridade << '>';
  saida_ << FormatarData(agora) << ' ' << FormatarHora(agora) << ' '
         << CodificarPaginaDeCodigo(TrimRight(umaLinha), TPosPaginaCodigo::pcUTF8) << std::endl;
}

void TMensagensTerminal::Mostrar(const std::string& Texto, const std::string& Titulo, TIconeMensagem Icone) {
  Linha(Icone == TIconeMensagem::Erro ? 3 : Icone == TIconeMensagem::Aviso ? 4 : 6, Titulo + ": " + Texto);
}

void TMensagensTerminal::MostrarErro(const std::string& Mensagem) { Linha(3, "Erro: " + Mensagem); }

void TMensagensTerminal::Informar(const std::string& Texto) { Linha(6, Texto); }

// --- time and signals ----------------------------------------------------------------------

TTemporizadorSinais::TTemporizadorSinais() {
  sigset_t sinais;
  sigemptyset(&sinais);
  sigaddset(&sinais, SIGTERM);
  sigaddset(&sinais, SIGINT);
  pthread_sigmask(SIG_BLOCK, &sinais, nullptr);
}

int64_t TTemporizadorSinais::AgoraMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool TTemporizadorSinais::Esperar(int64_t ms) {
  sigset_t sinais;
  sigemptyset(&sinais);
  sigaddset(&sinais, SIGTERM);
  sigaddset(&sinais, SIGINT);
  const int64_t fim = AgoraMs() + std::max<int64_t>(ms, 0);
  for (;;) {
    const int64_t resta = std::max<int64_t>(fim - AgoraMs(), 0);
    const timespec espera{static_cast<time_t>(resta / 1000), static_cast<long>(resta % 1000) * 1000000L};
    const int r = sigtimedwait(&sinais, nullptr, &espera);
    if (r > 0) return false;
    if (errno == EAGAIN) return true;
    // EINTR: another signal interrupted the wait; wait out the rest.
  }
}

bool TTemporizadorSinais::ParadaPedida() {
  sigset_t pendentes;
  sigemptyset(&pendentes);
  sigpending(&pendentes);
  return sigismember(&pendentes, SIGTERM) == 1 || sigismember(&pendentes, SIGINT) == 1;
}

// --- the loop ----------------------------------------------------------------------------------

void TServidorHeadless::TickCiclo() {
  std::string erro;
  bool falhou = true, doBanco = false;
  try {
    if (!form_.Ativo()) form_.CarregarConfiguracao();
    form_.Timer2Timer();
    falhou = false;
  } catch (const EAbort&) {
    doBanco = true;
  } catch (const EDatabaseError& e) {
    erro = e.what();
    doBanco = true;
  } catch (const std::exception& e) {
    erro = e.what();
  }
  if (!falhou) {
    if (!ultimoErro_.empty())
      form_.Mensagens().Informar(erroDoBanco_ ? "Banco de dados de volta."
                                              : "Impress\xE3o retomada na porta " + form_.PosPrinter1.Porta() + ".");
    ultimoErro_.clear();
  } else {
    if (!erro.empty() && erro != ultimoErro_) form_.Mensagens().MostrarErro(erro);
    if (!erro.empty()) {
      ultimoErro_ = erro;
      erroDoBanco_ = doBanco;
    }
    if (!doBanco && form_.Ativo()) form_.ExecutarTratando([this] { form_.bAtivarClick(); });
    form_.Timer2.SetEnabled(true);
  }
  if (AposCiclo) AposCiclo();
}

int TServidorHeadless::Iniciar() {
  const bool criado = form_.ExecutarTratando([this] { form_.FormCreate(); });
  if (!criado || (form_.Terminado() && !form_.SemBanco())) return 1;
  if (form_.SemBanco() && AoEsperarBanco) AoEsperarBanco();
  std::string motivo = form_.MotivoSemBanco();
  while (form_.SemBanco()) {
    for (int s = 0; s < kSegundosEsperaBanco; ++s) {
      if (!temporizador_.Esperar(1000)) return 0;
      if (AposRelogio) AposRelogio();
    }
    std::string novo;
    if (form_.ConectarBanco(novo)) {
      form_.Mensagens().Informar("Conectado ao banco de dados " + form_.DbConnection1.Database() + ".");
      form_.BancoConectado();
      break;
    }
    if (novo != motivo)
      form_.Mensagens().Mostrar(std::string(kMsgSemConexao) + "\r" + novo, kTituloAtencao, TIconeMensagem::Aviso);
    motivo = novo;
  }
  return -1;
}

int TServidorHeadless::Executar() {
  if (const int status = Iniciar(); status >= 0) return status;
  form_.ApplicationEvents1Minimize();
  if (AoIniciar) AoIniciar();

  int64_t proximo1 = temporizador_.AgoraMs() + form_.Timer1.Interval;
  int64_t proximo2 = temporizador_.AgoraMs() + form_.Timer2.Interval;
  uint64_t partidas2 = form_.Timer2.Partidas();
  for (;;) {
    // A timer that was enabled again starts its interval anew.
    if (form_.Timer2.Partidas() != partidas2) {
      partidas2 = form_.Timer2.Partidas();
      proximo2 = temporizador_.AgoraMs() + form_.Timer2.Interval;
    }
    int64_t proximo = proximo1;
    if (form_.Timer2.Enabled()) proximo = std::min(proximo, proximo2);
    const int64_t agora = temporizador_.AgoraMs();
    if (proximo > agora && !temporizador_.Esperar(proximo - agora)) return 0;

    if (temporizador_.AgoraMs() >= proximo1) {
      form_.ExecutarTratando([this] { form_.Timer1Timer(); });
      if (AposRelogio) AposRelogio();
      proximo1 += form_.Timer1.Interval;
      // Ticks missed during a long cycle are not made up.
      if (proximo1 <= temporizador_.AgoraMs()) proximo1 = temporizador_.AgoraMs() + form_.Timer1.Interval;
    }
    if (form_.Timer2.Enabled() && temporizador_.AgoraMs() >= proximo2) {
      TickCiclo();
      partidas2 = form_.Timer2.Partidas();
      proximo2 = temporizador_.AgoraMs() + form_.Timer2.Interval;
    }
  }
}

// --- the program --------------------------------------------------------------------------------

namespace {

const char* const kAjuda =
    "Uso: bilhetor [opcoes]\n"
    "Servidor de impressao: a cada tres segundos procura no banco MySQL os itens que\n"
    "esperam impressao (tabela imprimir), imprime um ticket de separacao por pedido e\n"
    "marca os itens impressos.\n"
    "\n"
    "Com uma tela (DISPLAY ou WAYLAND_DISPLAY), o servidor fica na bandeja do sistema,\n"
    "com a janela dos relogios e da configuracao da impressora; SIGTERM ou SIGINT o\n"
    "encerram entre dois ciclos.\n"
    "\n"
    "  --headless      sem janela: mensagens na saida de erro, uma linha com data e hora;\n"
    "                  termina com SIGTERM ou SIGINT entre dois ciclos\n"
    "  --pasta PASTA   pasta de sys.txt, banco.txt e bilhetor.ini (padrao: a pasta do\n"
    "                  programa; /etc/bilhetor para o programa instalado em /usr);\n"
    "                  sys.txt e banco.txt ausentes nela sao procurados em /etc/bilhetor\n"
    "  --estado PASTA  pasta do diario de tickets impressos (padrao: $STATE_DIRECTORY,\n"
    "                  senao ~/.local/state/bilhetor)\n"
    "  --version       mostra a versao\n"
    "  --help          mostra esta ajuda\n"
    "\n"
    "sys.txt: primeira linha, o servidor do banco; segunda linha (opcional), a porta (3306).\n"
    "banco.txt: primeira linha, o nome do banco (padrao: beleza).\n"
    "Saida: 0 encerrado a pedido, 1 falha na partida, 2 uso incorreto.\n";

struct TOpcoes {
  bool headless = false, ajuda = false, versao = false;
  std::string pasta, estado;
};

}  // namespace

int ExecutarBilhetor(const std::vector<std::string>& argumentos, std::ostream& saida, std::ostream& erro,
                     const std::string& executavel) {
  TOpcoes o;
  for (std::size_t i = 0; i < argumentos.size(); ++i) {
    const std::string& a = argumentos[i];
    if (a == "--headless") o.headless = true;
    else if (a == "--help" || a == "-h") o.ajuda = true;
    else if (a == "--version") o.versao = true;
    else if (a == "--pasta" && i + 1 < argumentos.size()) o.pasta = argumentos[++i];
    else if (a.rfind("--pasta=", 0) == 0) o.pasta = a.substr(8);
    else if (a == "--estado" && i + 1 < argumentos.size()) o.estado = argumentos[++i];
    else if (a.rfind("--estado=", 0) == 0) o.estado = a.substr(9);
    else {
      erro << "bilhetor: "
           << (a == "--pasta" || a == "--estado" ? "a opcao " + a + " precisa de uma pasta" : "opcao desconhecida: " + a)
           << "\nUse --help para ver as opcoes.\n";
      return 2;
    }
  }
  if (o.ajuda) {
    saida << kAjuda;
    return 0;
  }
  if (o.versao) {
    saida << "bilhetor " << BILHETOR_VERSAO << "\n";
    return 0;
  }
  if (!o.pasta.empty() && !std::filesystem::is_directory(o.pasta)) {
    erro << "bilhetor: a pasta nao existe: " << o.pasta << "\n";
    return 2;
  }

  TRelogioSistema relogio;
  TMensagensTerminal mensagens(erro, relogio, &erro == &std::cerr && SaidaErroNoJournal());
  // The installed program keeps its settings in the fixed folder; one run
  // from a build folder keeps them beside it.
  const std::string pasta =
      !o.pasta.empty() ? o.pasta : executavel.rfind("/usr/", 0) == 0 ? TPastas().Fixa : PastaDe(executavel);

  if (!o.headless && TemTela()) {
    // A display that does not answer is found out before the window module
    // (and Qt with it) is loaded: the server then runs as lean as headless.
    const std::string semTela = "a tela n\xE3o p\xF4" "de ser aberta";
    std::string falha = semTela;
    if (TelaResponde()) {
      if (const TExecutarJanela janela = CarregarJanela(executavel, falha)) {
        const int status = janela(executavel.c_str(), pasta.c_str());
        if (status != kSemTela) return status;
        falha = semTela;
      }
    }
    mensagens.Informar("Sem janela (" + falha + "): o servidor segue sem janela.");
  }

  // Signals are blocked before the server starts, so none is lost.
  TTemporizadorSinais temporizador;

  const TInstanciaUnica instancia("TfrmBilhetor");
  if (!instancia.Obtida()) {
    MostrarInstanciaRecusada(mensagens, instancia);
    return 1;
  }

  TPastas pastas;
  pastas.Executavel = executavel;
  pastas.Configuracao = pasta;
  pastas.Estado = o.estado;
  TfrmBilhetor form(pastas, relogio, mensagens);
  // A stop asked for while the server waits on the database ends the wait.
  form.DbConnection1.Interromper = [&temporizador] { return temporizador.ParadaPedida(); };
  TServidorHeadless servidor(form, temporizador);
  TServico servico;
  servidor.AposCiclo = [&] { servico.Vivo(); };
  servidor.AposRelogio = [&] { servico.Vivo(); };
  servidor.AoEsperarBanco = [&] { servico.Pronto(); };
  servidor.AoIniciar = [&] {
    servico.Pronto();
    mensagens.Informar(DescricaoEmServico(form));
  };
  const int status = servidor.Executar();
  if (status == 0) {
    servico.Parando();
    mensagens.Informar(kMsgEncerrado);
  }
  return status;
}

void MostrarInstanciaRecusada(TMensagens& mensagens, const TInstanciaUnica& instancia) {
  if (instancia.EmUso())
    mensagens.Mostrar(std::string(kMsgJaAberto) + "\r" + kMsgUmaInstancia, kTituloAtencao, TIconeMensagem::Aviso);
  else
    mensagens.MostrarErro("N\xE3o foi poss\xEDvel criar o arquivo de trava " + instancia.Erro());
}

std::string DescricaoEmServico(TfrmBilhetor& form) {
  return std::string("Bilhetor ") + BILHETOR_VERSAO + " em servi\xE7o: banco " + form.DbConnection1.Database() + " em " +
         form.DbConnection1.Server() + ":" + std::to_string(form.DbConnection1.Port()) + ", impressora " +
         form.cbxModelo.ItemSelecionado() + " na porta " + form.cbxPorta.Text + ", configura\xE7\xE3o " +
         form.ArquivoIni();
}

}  // namespace bilhetor

// The bilhetor program: its command line, the window or the headless loop,
// the service manager's notifications.
#include <filesystem>
#include <iostream>
#include <ostream>

#include "app/Servico.h"
#include "app/ServidorHeadless.h"

#ifndef BILHETOR_VERSAO
#define BILHETOR_VERSAO "0"
#endif

namespace bilhetor {

namespace {

// The help: the parts that differ between the platforms (the desktop, the
// stop, the folders) come from AjudaDaPlataforma.
std::string Ajuda() {
  const TAjudaPlataforma p = AjudaDaPlataforma();
  return std::string(
             "Uso: bilhetor [opcoes]\n"
             "Servidor de impressao: a cada tres segundos procura no banco MySQL os itens que\n"
             "esperam impressao (tabela imprimir), imprime um ticket de separacao por pedido e\n"
             "marca os itens impressos.\n"
             "\n") +
         p.Tela +
         "\n"
         "  --headless      sem janela: mensagens na saida de erro, uma linha com data e hora;\n" +
         p.Parada + p.Pasta + p.Estado +
         "  --version       mostra a versao\n"
         "  --help          mostra esta ajuda\n"
         "\n"
         "sys.txt: primeira linha, o servidor do banco; segunda linha (opcional), a porta (3306).\n"
         "banco.txt: primeira linha, o nome do banco (padrao: beleza).\n"
         "Saida: 0 encerrado a pedido, 1 falha na partida, 2 uso incorreto.\n";
}

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
    saida << Ajuda();
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
      !o.pasta.empty() ? o.pasta : ExecutavelInstalado(executavel) ? TPastas().Fixa : PastaDe(executavel);

  // The display is looked at once, before the window module (and Qt with
  // it) is loaded: a display that does not answer leaves the server as lean
  // as headless.
  const TTela tela = o.headless ? TTela::Nenhuma : VerTela();
  if (tela != TTela::Nenhuma) {
    const std::string semTela = "a tela n\xE3o p\xF4" "de ser aberta";
    std::string falha = semTela;
    if (tela != TTela::Muda) {
      if (const TExecutarJanela janela = CarregarJanela(executavel, falha)) {
        const int status = janela(executavel.c_str(), pasta.c_str(), o.estado.c_str(), static_cast<int>(tela));
        if (status != kSemTela) return status;
        falha = semTela;
      }
    }
    mensagens.Informar("Sem janela (" + falha + "): o servidor segue sem janela.");
  }

  // Signals are blocked before the server starts, so none is lost.
  TTemporizadorSinais temporizador;

  const TPartida partida(executavel, pasta, o.estado);
  if (!partida.Obtida(mensagens)) return 1;
  TfrmBilhetor form(partida.Pastas(), relogio, mensagens);
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

TPartida::TPartida(const std::string& executavel, const std::string& pasta, const std::string& estado)
    : instancia_("TfrmBilhetor") {
  pastas_.Executavel = executavel;
  pastas_.Configuracao = pasta;
  pastas_.Estado = estado;
}

bool TPartida::Obtida(TMensagens& mensagens) const {
  if (instancia_.Obtida()) return true;
  if (instancia_.EmUso())
    mensagens.Mostrar(std::string(kMsgJaAberto) + "\r" + kMsgUmaInstancia, kTituloAtencao, TIconeMensagem::Aviso);
  else
    mensagens.MostrarErro("N\xE3o foi poss\xEDvel criar o arquivo de trava " + instancia_.Erro());
  return false;
}

std::string DescricaoEmServico(TfrmBilhetor& form) {
  return std::string("Bilhetor ") + BILHETOR_VERSAO + " em servi\xE7o: banco " + form.DbConnection1.Database() + " em " +
         form.DbConnection1.Server() + ":" + std::to_string(form.DbConnection1.Port()) + ", impressora " +
         form.cbxModelo.ItemSelecionado() + " na porta " + form.cbxPorta.Text + ", configura\xE7\xE3o " +
         form.ArquivoIni();
}

}  // namespace bilhetor

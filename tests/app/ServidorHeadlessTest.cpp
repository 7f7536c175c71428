// The print server without a window: its loop driven by a test clock, and
// the bilhetor program itself against the private MariaDB. The tests that
// stop the program with a signal are in ServidorHeadlessTestPosix.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <thread>

#include "ServidorTeste.h"
#include "app/ServidorHeadless.h"
#include "support/EscPosPrinterSim.h"
#include "support/EscutaNaPorta.h"
#include "support/MariaDbServer.h"
#include "support/Soquetes.h"

namespace bilhetor {
namespace {

using testing::BancoTeste;
using testing::ChildProcess;
using testing::PastasTeste;
using testing::ReadFile;
using testing::ServidorTeste;
using testing::TempDir;
using testing::WaitUntil;
using testing::WriteFile;

// Virtual time: each wait moves the clock on at once; the loop is asked to
// stop once the clock reaches `fim`.
class TemporizadorTeste : public TTemporizador {
 public:
  int64_t AgoraMs() override { return agora; }
  bool Esperar(int64_t ms) override {
    agora += ms;
    if (aoAvancar) aoAvancar(agora);
    return agora < fim;
  }
  int64_t agora = 0;
  int64_t fim = 0;
  std::function<void(int64_t)> aoAvancar;
};

// A network printer that can be switched on at a port chosen beforehand: it
// accepts connections, keeps what it receives and answers the status
// queries as a ready Epson printer.
class ImpressoraRede {
 public:
  void Ligar(int porta) {
    ASSERT_NO_THROW(escuta_ = testing::EscutarNaPorta(porta, 4));
    thread_ = std::thread([this] { Laco(); });
  }
  ~ImpressoraRede() {
    parar_ = true;
    aviso_.Acordar();
    if (thread_.joinable()) thread_.join();
    testing::Fechar(escuta_);
  }
  std::string Recebido() {
    std::lock_guard<std::mutex> l(mutex_);
    return recebido_;
  }

 private:
  void Laco() {
    using testing::kSemSoquete;
    std::vector<testing::SoqueteTeste> conexoes;
    testing::EscPosPrinterSim respostas;
    while (!parar_) {
      std::vector<testing::Vigia> vigias{{aviso_.Leitura()}, {escuta_}};
      for (const auto c : conexoes) vigias.push_back({c});
      if (testing::Vigiar(vigias, 200) <= 0 || vigias[0].pronto) continue;
      for (std::size_t i = 2; i < vigias.size(); ++i) {
        if (!vigias[i].pronto) continue;
        testing::SoqueteTeste& c = conexoes[i - 2];
        char buf[4096];
        const long n = testing::Receber(c, buf, sizeof buf, true);
        if (n == testing::kVazio) continue;
        if (n <= 0) {
          testing::Fechar(c);
          c = kSemSoquete;
          continue;
        }
        const std::string pedaco(buf, static_cast<std::size_t>(n));
        std::string resposta;
        for (std::size_t p = pedaco.find("\x10\x04"); p != std::string::npos && p + 2 < pedaco.size();
             p = pedaco.find("\x10\x04", p + 1))
          resposta += respostas.Responder(0x10, static_cast<unsigned char>(pedaco[p + 2]));
        {
          std::lock_guard<std::mutex> l(mutex_);
          recebido_ += pedaco;
        }
        // A client gone needs no answer.
        if (!resposta.empty()) testing::EnviarTudo(c, resposta);
      }
      std::erase(conexoes, kSemSoquete);
      if (vigias[1].pronto) {
        const testing::SoqueteTeste c = testing::Aceitar(escuta_);
        if (c != kSemSoquete) conexoes.push_back(c);
      }
    }
    for (const auto c : conexoes) testing::Fechar(c);
  }

  testing::SoqueteTeste escuta_ = testing::kSemSoquete;
  testing::Despertador aviso_;  // readable once the printer is to stop
  std::atomic<bool> parar_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::string recebido_;
};

class Headless : public ::testing::Test {
 protected:
  BancoTeste banco;
  PastasTeste pastas;
};

TEST_F(Headless, TicksEveryThreeSecondsAndTheClocksEverySecond) {
  pastas.Configurar(banco);
  ServidorTeste s(pastas);
  TemporizadorTeste tempo;
  tempo.fim = 10000;
  tempo.aoAvancar = [&](int64_t agora) { s.relogio.agora = TDataHora{2024, 3, 5, 14, 20, static_cast<int>(1 + agora / 1000), 0}; };
  TServidorHeadless servidor(s.form, tempo);
  std::vector<int64_t> ciclos;
  servidor.AposCiclo = [&] { ciclos.push_back(tempo.agora); };
  EXPECT_EQ(servidor.Executar(), 0);
  EXPECT_EQ(ciclos, (std::vector<int64_t>{3000, 6000, 9000}));
  EXPECT_EQ(s.form.Label7, "00:00:09");
  EXPECT_EQ(banco.Esperando(), 2);
  EXPECT_TRUE(s.mensagens.erros.empty());
}

TEST_F(Headless, APrinterThatRefusesAndComesBackGetsEveryTicket) {
  const int porta = testing::FreeLoopbackPort();
  pastas.Configurar(banco, "TCP:127.0.0.1:" + std::to_string(porta));
  ServidorTeste s(pastas);
  ImpressoraRede impressora;
  TemporizadorTeste tempo;
  tempo.fim = 16000;
  tempo.aoAvancar = [&](int64_t agora) {
    if (agora == 10000) impressora.Ligar(porta);
  };
  TServidorHeadless servidor(s.form, tempo);
  int ciclos = 0;
  servidor.AposCiclo = [&] {
    ++ciclos;
    // While the printer is off nothing is marked.
    if (tempo.agora < 10000) {
      EXPECT_EQ(banco.Esperando(), 8);
    }
  };
  EXPECT_EQ(servidor.Executar(), 0);
  EXPECT_EQ(ciclos, 5);
  // The refusal was reported once, polling went on, and the return said so.
  ASSERT_EQ(s.mensagens.erros.size(), 1u);
  EXPECT_NE(s.mensagens.erros[0].find("10061"), std::string::npos) << s.mensagens.erros[0];
  EXPECT_NE(std::find(s.mensagens.informacoes.begin(), s.mensagens.informacoes.end(),
                      "Impress\xE3o retomada na porta TCP:127.0.0.1:" + std::to_string(porta) + "."),
            s.mensagens.informacoes.end());
  EXPECT_EQ(banco.Esperando(), 2);
  const std::string recebido = impressora.Recebido();
  for (const char* pedido : {"PEDIDO...: 057", "PEDIDO...: 058", "PEDIDO...: 059"})
    EXPECT_NE(recebido.find(pedido), std::string::npos) << pedido;
}

TEST_F(Headless, AnErrorInsideTheOrderLoopDoesNotStopPollingAndReopensThePrinter) {
  testing::EscPosPrinterSim impressora;
  impressora.IniciarTcp();
  auto estado = impressora.Estado();
  estado.tampaAberta = true;
  impressora.SetEstado(estado);
  pastas.Configurar(banco, impressora.NomePortaTcp());
  ServidorTeste s(pastas);
  TemporizadorTeste tempo;
  tempo.fim = 7000;
  tempo.aoAvancar = [&](int64_t agora) {
    if (agora == 5000) {
      estado.tampaAberta = false;
      impressora.SetEstado(estado);
    }
  };
  TServidorHeadless servidor(s.form, tempo);
  EXPECT_EQ(servidor.Executar(), 0);
  ASSERT_EQ(s.mensagens.erros.size(), 1u);
  EXPECT_EQ(s.mensagens.erros[0], "Impressora com Tampa Aberta");
  EXPECT_EQ(banco.Esperando(), 2);
  EXPECT_TRUE(s.form.Timer2.Enabled());
  // The failed tick closed the connection; the next one opened a new one.
  EXPECT_EQ(impressora.Conexoes(), 2);
}

TEST_F(Headless, ADatabaseOutageLeavesThePrinterAloneAndIsReportedUntilItEnds) {
  testing::EscPosPrinterSim impressora;
  impressora.IniciarTcp();
  pastas.Configurar(banco, impressora.NomePortaTcp());
  ServidorTeste s(pastas);
  TemporizadorTeste tempo;
  tempo.fim = 16000;
  tempo.aoAvancar = [&](int64_t agora) {
    if (agora == 4000) BancoTeste::Servidor().Kill();
    if (agora == 10000) {
      BancoTeste::Servidor().Start();
      banco.Sql("INSERT INTO imprimir (numped, tipo, codprod, qtde) VALUES (58, 'C', 43, 1);\n");
    }
  };
  TServidorHeadless servidor(s.form, tempo);
  EXPECT_EQ(servidor.Executar(), 0);
  // Two ticks failed on the database; the printer stayed open throughout.
  EXPECT_GE(s.mensagens.erros.size(), 1u);
  EXPECT_LE(s.mensagens.erros.size(), 2u);
  EXPECT_EQ(impressora.Conexoes(), 1);
  EXPECT_NE(std::find(s.mensagens.informacoes.begin(), s.mensagens.informacoes.end(), "Banco de dados de volta."),
            s.mensagens.informacoes.end());
  EXPECT_EQ(banco.Esperando(), 2);
  const std::string impresso = impressora.Impresso();
  EXPECT_NE(impresso.find("PEDIDO...: 058", impresso.find("PEDIDO...: 059")), std::string::npos);
}

TEST_F(Headless, APortChangedInTheFileWhileActiveIsOpenedAtTheNextTick) {
  pastas.Configurar(banco);
  ServidorTeste s(pastas);
  const std::string nova = pastas.Config("nova.bin");
  TemporizadorTeste tempo;
  tempo.fim = 13000;
  tempo.aoAvancar = [&](int64_t agora) {
    if (agora != 4000) return;
    std::string ini = ReadFile(pastas.Config("bilhetor.ini"));
    ini.replace(ini.find("Porta=FILE:"), std::string("Porta=FILE:" + pastas.Saida()).size(), "Porta=FILE:" + nova);
    WriteFile(pastas.Config("bilhetor.ini"), ini);
    banco.Sql("INSERT INTO imprimir (numped, tipo, codprod, qtde) VALUES (58, 'C', 43, 1);\n");
  };
  TServidorHeadless servidor(s.form, tempo);
  EXPECT_EQ(servidor.Executar(), 0);
  // The tick after the edit cannot change the open port and says so; the
  // next one opens the new port, and the edit is still in the file.
  ASSERT_EQ(s.mensagens.erros.size(), 1u);
  EXPECT_EQ(s.mensagens.erros[0], "N\xE3o \xE9 poss\xEDvel mudar a Porta com o Dispositivo Ativo");
  EXPECT_EQ(s.form.PosPrinter1.Porta(), "FILE:" + nova);
  EXPECT_NE(ReadFile(nova).find("PEDIDO...: 058"), std::string::npos);
  EXPECT_NE(ReadFile(pastas.Config("bilhetor.ini")).find("Porta=FILE:" + nova), std::string::npos);
  EXPECT_EQ(banco.Esperando(), 2);
}

TEST(MensagensTerminal, OneLineWithDateAndTimeInUtf8) {
  testing::RelogioTeste relogio;
  std::ostringstream saida;
  TMensagensTerminal m(saida, relogio);
  m.Mostrar("Este programa j\xE1 est\xE1 aberto.\rN\xE3o posso", "Aten\xE7\xE3o", TIconeMensagem::Aviso);
  m.MostrarErro("linha 1\r\nlinha 2\n");
  EXPECT_EQ(saida.str(),
            "05/03/2024 14:20:01 Aten\xC3\xA7\xC3\xA3o: Este programa j\xC3\xA1 est\xC3\xA1 aberto. N\xC3\xA3o posso\n"
            "05/03/2024 14:20:01 Erro: linha 1 linha 2\n");

  // For the journal, each line carries its priority.
  std::ostringstream journal;
  TMensagensTerminal j(journal, relogio, true);
  j.Mostrar("a", "T", TIconeMensagem::Aviso);
  j.Mostrar("b", "T", TIconeMensagem::Erro);
  j.MostrarErro("c");
  j.Informar("d");
  EXPECT_EQ(journal.str(),
            "<4>05/03/2024 14:20:01 T: a\n<3>05/03/2024 14:20:01 T: b\n<3>05/03/2024 14:20:01 Erro: c\n"
            "<6>05/03/2024 14:20:01 d\n");
}

// --- the program -----------------------------------------------------------------------------------

struct Execucao {
  int status = -1;
  std::string saida;
};

// Runs bilhetor with the arguments and a private runtime folder (where Linux
// keeps the lock of the one running copy); waits for its end.
Execucao Executar(const std::vector<std::string>& args, const std::string& runtime) {
  TempDir dir;
  std::vector<std::string> argv{testing::ProgramaBilhetor()};
  argv.insert(argv.end(), args.begin(), args.end());
  const char* antes = std::getenv("XDG_RUNTIME_DIR");
  const std::string anterior = antes ? antes : "";
  Execucao e;
  {
    // The program inherits the folder; this process keeps its own.
    testing::SetEnv("XDG_RUNTIME_DIR", runtime);
    ChildProcess programa(argv, dir / "saida");
    testing::SetEnv("XDG_RUNTIME_DIR", anterior);
    EXPECT_TRUE(WaitUntil([&] { return !programa.Running(); }, std::chrono::seconds(60)));
    e.status = testing::ExitCode(programa.Stop());
  }
  e.saida = ReadFile(dir / "saida");
  return e;
}

TEST(Programa, UsageHelpAndVersion) {
  TempDir runtime;
  const Execucao ajuda = Executar({"--help"}, runtime.Path().string());
  EXPECT_EQ(ajuda.status, 0);
  EXPECT_NE(ajuda.saida.find("--headless"), std::string::npos);
  const Execucao versao = Executar({"--version"}, runtime.Path().string());
  EXPECT_EQ(versao.status, 0);
  EXPECT_EQ(versao.saida.rfind("bilhetor ", 0), 0u) << versao.saida;
  EXPECT_EQ(Executar({"--nada"}, runtime.Path().string()).status, 2);
  EXPECT_EQ(Executar({"--pasta", runtime / "nao-existe"}, runtime.Path().string()).status, 2);
}

TEST_F(Headless, TheProgramEndsWithStatusOneWhenStartUpFails) {
  TempDir runtime;
  WriteFile(pastas.Config("banco.txt"), "x\n");  // no sys.txt anywhere
  const Execucao e = Executar({"--headless", "--pasta", pastas.Pastas().Configuracao}, runtime.Path().string());
  EXPECT_EQ(e.status, 1);
  EXPECT_NE(e.saida.find("Aten\xC3\xA7\xC3\xA3o: N\xC3\xA3o existe o arquivo de configura\xC3\xA7\xC3\xA3o do sistema"),
            std::string::npos)
      << e.saida;
}

}  // namespace
}  // namespace bilhetor

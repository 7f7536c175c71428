// bilhetor-anfitriao-wine: runs a command (a Windows test program under Wine)
// beside the Linux servers the tests need and the Windows side cannot start
// itself. It serves, on a loopback port named in BILHETOR_ANFITRIAO, the
// shared MariaDB of the tests: started on the first request, stopped, killed
// or restarted on request, and SQL run through its command-line client. Each
// request is one connection: "<COMANDO> <length>\n<payload>", answered with
// "OK <length>\n<payload>" or "ERRO <length>\n<message>".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "support/MariaDbServer.h"

namespace {

using bilhetor::testing::MariaDbServer;

bool LerTudo(int fd, std::string& dados, std::size_t quantos) {
  char buf[65536];
  while (dados.size() < quantos) {
    const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, quantos - dados.size()), 0);
    if (n <= 0) return false;
    dados.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

void EnviarTudo(int fd, const std::string& dados) {
  std::size_t enviado = 0;
  while (enviado < dados.size()) {
    const ssize_t n = ::send(fd, dados.data() + enviado, dados.size() - enviado, MSG_NOSIGNAL);
    if (n <= 0) return;
    enviado += static_cast<std::size_t>(n);
  }
}

class TAnfitriao {
 public:
  std::string Executar(const std::string& comando, const std::string& dados) {
    if (comando == "INICIAR") {
      banco().Start();
      return std::to_string(banco().Port()) + "\n" + banco().DataDir() + "\n" + banco().LogFile();
    }
    if (comando == "PARAR") return banco().Stop(), "";
    if (comando == "MATAR") return banco().Kill(), "";
    if (comando == "ATIVO") return banco().Running() ? "1" : "0";
    if (comando == "SQL") return banco().Sql(dados);
    throw std::runtime_error("comando desconhecido: " + comando);
  }

  void Atender(int cliente) {
    std::string cabecalho;
    char c;
    while (::recv(cliente, &c, 1, 0) == 1 && c != '\n') cabecalho += c;
    const auto espaco = cabecalho.find(' ');
    std::string dados;
    std::string resposta;
    if (espaco == std::string::npos || !LerTudo(cliente, dados, std::stoul(cabecalho.substr(espaco + 1)))) {
      resposta = "ERRO 17\npedido incompleto";
    } else {
      try {
        const std::string saida = Executar(cabecalho.substr(0, espaco), dados);
        resposta = "OK " + std::to_string(saida.size()) + "\n" + saida;
      } catch (const std::exception& e) {
        const std::string erro = e.what();
        resposta = "ERRO " + std::to_string(erro.size()) + "\n" + erro;
      }
    }
    EnviarTudo(cliente, resposta);
  }

  ~TAnfitriao() { delete banco_; }

 private:
  MariaDbServer& banco() {
    if (!banco_) banco_ = new MariaDbServer;
    return *banco_;
  }
  MariaDbServer* banco_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "uso: bilhetor-anfitriao-wine <programa> [argumentos...]\n";
    return 2;
  }
  const int servidor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in endereco{};
  endereco.sin_family = AF_INET;
  endereco.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t tamanho = sizeof endereco;
  if (servidor < 0 || ::bind(servidor, reinterpret_cast<sockaddr*>(&endereco), sizeof endereco) != 0 ||
      ::listen(servidor, 8) != 0 || ::getsockname(servidor, reinterpret_cast<sockaddr*>(&endereco), &tamanho) != 0) {
    std::perror("bilhetor-anfitriao-wine");
    return 2;
  }
  const std::string porta = std::to_string(ntohs(endereco.sin_port));
  ::setenv("BILHETOR_ANFITRIAO", ("127.0.0.1:" + porta).c_str(), 1);

  TAnfitriao anfitriao;
  std::atomic<bool> parar{false};
  std::thread atendimento([&] {
    while (!parar) {
      pollfd p{servidor, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const int cliente = ::accept4(servidor, nullptr, nullptr, SOCK_CLOEXEC);
      if (cliente < 0) continue;
      anfitriao.Atender(cliente);
      ::close(cliente);
    }
  });

  const pid_t filho = ::fork();
  if (filho == 0) {
    ::execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    ::_exit(127);
  }
  int estado = 0;
  while (::waitpid(filho, &estado, 0) < 0) {
  }
  parar = true;
  atendimento.join();
  ::close(servidor);
  return WIFEXITED(estado) ? WEXITSTATUS(estado) : 128 + WTERMSIG(estado);
}

// bilhetor-impressora: a stand-in for an ESC/POS network printer, for demos
// and for trying a print server without paper. It listens on a TCP port,
// answers the real-time status queries (DLE EOT 1 to 4) as a ready printer,
// and writes the bytes of every connection that carried more than status
// queries to a file of its own (ticket-001.bin, ticket-002.bin, ...). It ends
// on SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "common/Strings.h"

namespace {

volatile sig_atomic_t parar = 0;
void AoSinal(int) { parar = 1; }

const char* const kAjuda =
    "Uso: bilhetor-impressora --porta N [--pasta PASTA] [--endereco IP]\n"
    "Impressora de rede simulada (ESC/POS): aceita conexoes em IP:N (padrao 127.0.0.1),\n"
    "responde as consultas de status como uma impressora pronta e grava os bytes de\n"
    "cada conexao que trouxe mais que consultas em PASTA/ticket-NNN.bin (padrao: .).\n"
    "Termina com SIGTERM ou SIGINT.\n";

// Answers of a ready Epson printer to DLE EOT n (bits 1 and 4 always set;
// for n = 1 also bit 2, the drawer connector reading high).
char RespostaStatus(unsigned char n) { return n == 1 ? 0x16 : 0x12; }

struct Conexao {
  int fd;
  std::string dados;
  bool soConsultas = true;
  std::string pendente;  // the start of a query split between reads
};

// Answers the status queries in a piece; tells whether the piece had other
// bytes too.
bool Responder(Conexao& c, const std::string& pedaco) {
  std::string s = c.pendente + pedaco;
  c.pendente.clear();
  bool outros = false;
  std::string respostas;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == 0x10) {
      if (i + 2 >= s.size()) {
        c.pendente = s.substr(i);
        break;
      }
      const auto n = static_cast<unsigned char>(s[i + 2]);
      if (s[i + 1] == 0x04 && n >= 1 && n <= 4) {
        respostas += RespostaStatus(n);
        i += 3;
        continue;
      }
    }
    outros = true;
    ++i;
  }
  if (!respostas.empty() && ::write(c.fd, respostas.data(), respostas.size()) < 0) return outros;
  return outros;
}

}  // namespace

int main(int argc, char** argv) {
  int porta = 0;
  std::string pasta = ".", endereco = "127.0.0.1";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--porta" || a == "--pasta" || a == "--endereco") && i + 1 < argc) {
      const std::string v = argv[++i];
      if (a == "--porta") porta = bilhetor::StrToIntDef(v, 0);
      if (a == "--pasta") pasta = v;
      if (a == "--endereco") endereco = v;
    } else if (a == "--help") {
      std::cout << kAjuda;
      return 0;
    } else {
      std::cerr << "bilhetor-impressora: opcao desconhecida: " << a << "\n" << kAjuda;
      return 2;
    }
  }
  if (porta <= 0 || porta > 65535) {
    std::cerr << "bilhetor-impressora: informe --porta (1 a 65535)\n";
    return 2;
  }

  struct sigaction sa {};
  sa.sa_handler = AoSinal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  const int escuta = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int um = 1;
  ::setsockopt(escuta, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(porta));
  if (::inet_pton(AF_INET, endereco.c_str(), &a.sin_addr) != 1 ||
      ::bind(escuta, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(escuta, 8) != 0) {
    std::cerr << "bilhetor-impressora: " << endereco << ":" << porta << ": " << std::strerror(errno) << "\n";
    return 1;
  }

  std::vector<Conexao> conexoes;
  int gravados = 0;
  const auto fechar = [&](std::size_t i) {
    Conexao& c = conexoes[i];
    ::close(c.fd);
    if (!c.soConsultas) {
      const std::string nome = pasta + "/" + bilhetor::Format("ticket-%03d.bin", ++gravados);
      std::ofstream(nome, std::ios::binary) << c.dados;
      std::cout << "recebido: " << nome << " (" << c.dados.size() << " bytes)" << std::endl;
    }
    conexoes.erase(conexoes.begin() + static_cast<std::ptrdiff_t>(i));
  };
  while (!parar) {
    std::vector<pollfd> fds{{escuta, POLLIN, 0}};
    for (const Conexao& c : conexoes) fds.push_back({c.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), 200) <= 0) continue;
    if (fds[0].revents & POLLIN) {
      const int fd = ::accept4(escuta, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) conexoes.push_back(Conexao{fd, {}, true, {}});
    }
    for (std::size_t i = fds.size() - 1; i >= 1; --i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[8192];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      Conexao& c = conexoes[i - 1];
      if (n <= 0) {
        fechar(i - 1);
        continue;
      }
      const std::string pedaco(buf, static_cast<std::size_t>(n));
      c.dados += pedaco;
      if (Responder(c, pedaco)) c.soConsultas = false;
    }
  }
  while (!conexoes.empty()) fechar(conexoes.size() - 1);
  ::close(escuta);
  return 0;
}

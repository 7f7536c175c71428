// The tests' MariaDB on Windows (under Wine): the same server, run on the
// Linux side by bilhetor-anfitriao-wine, which starts, stops, kills it and
// runs SQL on request (BILHETOR_ANFITRIAO names its loopback port).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <stdexcept>

#include "support/MariaDbServer.h"

namespace bilhetor::testing {

namespace {

std::string Anfitriao() {
  const char* endereco = std::getenv("BILHETOR_ANFITRIAO");
  return endereco ? endereco : "";
}

// One request to the Linux side; its answer, or runtime_error with its message.
std::string Pedir(const std::string& comando, const std::string& dados = "") {
  const std::string endereco = Anfitriao();
  const auto doisPontos = endereco.rfind(':');
  if (doisPontos == std::string::npos)
    throw std::runtime_error("BILHETOR_ANFITRIAO is not set: run the test through tests/wine/executar");
  static const bool iniciado = [] {
    WSADATA d;
    return WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }();
  if (!iniciado) throw std::runtime_error("WSAStartup failed");
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(std::stoi(endereco.substr(doisPontos + 1))));
  inet_pton(AF_INET, endereco.substr(0, doisPontos).c_str(), &addr.sin_addr);
  if (s == INVALID_SOCKET || connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    throw std::runtime_error("bilhetor-anfitriao-wine does not answer at " + endereco);
  }
  const std::string pedido = comando + " " + std::to_string(dados.size()) + "\n" + dados;
  for (std::size_t enviado = 0; enviado < pedido.size();) {
    const int n = send(s, pedido.data() + enviado, static_cast<int>(pedido.size() - enviado), 0);
    if (n <= 0) break;
    enviado += static_cast<std::size_t>(n);
  }
  std::string resposta;
  char buf[65536];
  for (int n; (n = recv(s, buf, sizeof buf, 0)) > 0;) resposta.append(buf, static_cast<std::size_t>(n));
  closesocket(s);
  const auto fimLinha = resposta.find('\n');
  if (fimLinha == std::string::npos) throw std::runtime_error("no answer from bilhetor-anfitriao-wine to " + comando);
  const std::string corpo = resposta.substr(fimLinha + 1);
  if (resposta.rfind("OK ", 0) != 0) throw std::runtime_error(corpo);
  return corpo;
}

}  // namespace

bool MariaDbServer::Available() { return !Anfitriao().empty(); }

MariaDbServer& MariaDbServer::Instance() {
  static MariaDbServer server;
  if (!server.initialised_) server.Start();
  return server;
}

MariaDbServer::MariaDbServer() = default;
MariaDbServer::~MariaDbServer() = default;

void MariaDbServer::Start() {
  const std::string resposta = Pedir("INICIAR");
  const auto a = resposta.find('\n'), b = resposta.find('\n', a + 1);
  port_ = std::stoi(resposta.substr(0, a));
  dataDir_ = CaminhoDoAnfitriao(resposta.substr(a + 1, b - a - 1));
  logFile_ = CaminhoDoAnfitriao(resposta.substr(b + 1));
  initialised_ = true;
}

void MariaDbServer::Stop() { Pedir("PARAR"); }
void MariaDbServer::Kill() { Pedir("MATAR"); }
bool MariaDbServer::Running() { return Pedir("ATIVO") == "1"; }
std::string MariaDbServer::Sql(const std::string& statements) { return Pedir("SQL", statements); }

void MariaDbServer::Initialise() {}
void MariaDbServer::CreateAccounts() {}
bool MariaDbServer::Answers() { return Running(); }

}  // namespace bilhetor::testing

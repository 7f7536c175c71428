#include "support/EscPosPrinterSim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace bilhetor::testing {

namespace {

void EscreverTudo(int fd, const std::string& dados) {
  std::size_t feito = 0;
  while (feito < dados.size()) {
    const ssize_t n = ::write(fd, dados.data() + feito, dados.size() - feito);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
        continue;
      }
      return;  // the peer went away: a printer does not care
    }
    feito += static_cast<std::size_t>(n);
  }
}

std::atomic<int> contadorPty{0};

}  // namespace

EscPosPrinterSim::EscPosPrinterSim() {
  if (::pipe(pararFd_) != 0) throw std::runtime_error("pipe failed");
}

EscPosPrinterSim::~EscPosPrinterSim() {
  parar_ = true;
  const char c = 'x';
  [[maybe_unused]] ssize_t ignorado = ::write(pararFd_[1], &c, 1);
  if (threadTcp_.joinable()) threadTcp_.join();
  if (threadPty_.joinable()) threadPty_.join();
  if (escutaFd_ >= 0) ::close(escutaFd_);
  if (ptyFd_ >= 0) ::close(ptyFd_);
  socat_.reset();
  if (!linkDev_.empty()) ::unlink(linkDev_.c_str());
  ::close(pararFd_[0]);
  ::close(pararFd_[1]);
}

// ---------------------------------------------------------------------------
// Protocol

std::string EscPosPrinterSim::Responder(unsigned char comando, unsigned char n) {
  std::lock_guard<std::mutex> lock(mutex_);
  EstadoImpressoraSim& e = estado_;
  if (comando == 0x10) ++consultasStatus_;
  if (comando == 0x1D) ++consultasInfo_;
  if (e.silenciosa) return {};
  if (comando == 0x10) {
    if (e.consultasSemResposta > 0) {
      --e.consultasSemResposta;
      return {};
    }
    if (n == 1 && e.respostaStatus1 >= 0) return std::string(1, static_cast<char>(e.respostaStatus1));
    // Bits 1 and 4 of every reply are fixed at 1.
    unsigned char b = 0x12;
    const bool offLine = e.offLine || e.tampaAberta || e.semPapel || e.erro;
    switch (n) {
      case 1:  // printer status
        if (!e.gavetaAberta) b |= 0x04;
        if (offLine) b |= 0x08;
        if (e.erro) b |= 0x20;
        if (e.alimentando) b |= 0x40;
        break;
      case 2:  // off-line cause
        if (e.tampaAberta) b |= 0x04;
        if (e.alimentando) b |= 0x08;
        if (e.semPapel) b |= 0x20;
        if (e.erro) b |= 0x40;
        break;
      case 3:  // error cause: none of the recoverable ones
        break;
      case 4:  // paper roll sensor; an empty roll also reads near its end
        if (e.poucoPapel || e.semPapel) b |= 0x0C;
        if (e.semPapel) b |= 0x60;
        break;
      default:
        return {};
    }
    return std::string(1, static_cast<char>(b));
  }
  if (comando == 0x1D) {
    auto texto = [](const std::string& t) { return std::string("_") + t + std::string(1, '\0'); };
    switch (n) {
      case 0x41: return texto(e.firmware);
      case 0x42: return texto(e.fabricante);
      case 0x43: return texto(e.modelo);
      case 0x44: return texto(e.serial);
      case 0x02:
      case 0x32: return std::string(1, static_cast<char>(e.guilhotina ? 0x02 : 0x00));
      default: return {};
    }
  }
  return {};
}

std::string EscPosPrinterSim::Processar(const char* dados, std::size_t n) {
  std::string entrada;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    recebido_.append(dados, n);
    entrada = pendente_ + std::string(dados, n);
    pendente_.clear();
  }
  std::string resposta;
  std::string impresso;
  std::size_t i = 0;
  while (i < entrada.size()) {
    const unsigned char c = static_cast<unsigned char>(entrada[i]);
    if (c == 0x10 || c == 0x1D) {
      if (i + 1 >= entrada.size() || (i + 2 >= entrada.size() && ((c == 0x10 && entrada[i + 1] == 0x04) ||
                                                                   (c == 0x1D && entrada[i + 1] == 0x49)))) {
        // A query may be split across reads: keep its start for the next one.
        std::lock_guard<std::mutex> lock(mutex_);
        pendente_ = entrada.substr(i);
        break;
      }
      const bool consulta = (c == 0x10 && entrada[i + 1] == 0x04) || (c == 0x1D && entrada[i + 1] == 0x49);
      if (consulta) {
        resposta += Responder(c, static_cast<unsigned char>(entrada[i + 2]));
        i += 3;
        continue;
      }
    }
    impresso.push_back(static_cast<char>(c));
    ++i;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  impresso_ += impresso;
  return resposta;
}

void EscPosPrinterSim::SetEstado(const EstadoImpressoraSim& estado) {
  std::lock_guard<std::mutex> lock(mutex_);
  estado_ = estado;
}

EstadoImpressoraSim EscPosPrinterSim::Estado() {
  std::lock_guard<std::mutex> lock(mutex_);
  return estado_;
}

std::string EscPosPrinterSim::Recebido() {
  std::lock_guard<std::mutex> lock(mutex_);
  return recebido_;
}

std::string EscPosPrinterSim::Impresso() {
  std::lock_guard<std::mutex> lock(mutex_);
  return impresso_;
}

int EscPosPrinterSim::ConsultasStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  return consultasStatus_;
}

int EscPosPrinterSim::ConsultasInfo() {
  std::lock_guard<std::mutex> lock(mutex_);
  return consultasInfo_;
}

int EscPosPrinterSim::Conexoes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return conexoes_;
}

void EscPosPrinterSim::LimparRegistro() {
  std::lock_guard<std::mutex> lock(mutex_);
  recebido_.clear();
  impresso_.clear();
  consultasStatus_ = 0;
  consultasInfo_ = 0;
}

bool EscPosPrinterSim::AguardarRecebido(std::size_t n, std::chrono::milliseconds limite) {
  return WaitUntil([&] { return Recebido().size() >= n; }, limite);
}

// ---------------------------------------------------------------------------
// TCP

int EscPosPrinterSim::IniciarTcp() {
  escutaFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (escutaFd_ < 0) throw std::runtime_error("socket failed");
  const int um = 1;
  ::setsockopt(escutaFd_, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
  sockaddr_in endereco{};
  endereco.sin_family = AF_INET;
  endereco.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  endereco.sin_port = 0;
  if (::bind(escutaFd_, reinterpret_cast<sockaddr*>(&endereco), sizeof endereco) != 0 ||
      ::listen(escutaFd_, 4) != 0) {
    throw std::runtime_error(std::string("bind/listen failed: ") + std::strerror(errno));
  }
  socklen_t tamanho = sizeof endereco;
  ::getsockname(escutaFd_, reinterpret_cast<sockaddr*>(&endereco), &tamanho);
  portaTcp_ = ntohs(endereco.sin_port);
  threadTcp_ = std::thread([this] { LoopTcp(); });
  return portaTcp_;
}

std::string EscPosPrinterSim::NomePortaTcp() const { return "TCP:127.0.0.1:" + std::to_string(portaTcp_); }

void EscPosPrinterSim::LoopTcp() {
  int cliente = -1;
  char buffer[4096];
  while (!parar_) {
    pollfd p[2] = {{pararFd_[0], POLLIN, 0}, {cliente >= 0 ? cliente : escutaFd_, POLLIN, 0}};
    if (::poll(p, 2, 200) <= 0) continue;
    if (p[0].revents) break;
    if (!p[1].revents) continue;
    if (cliente < 0) {
      cliente = ::accept4(escutaFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (cliente >= 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++conexoes_;
        pendente_.clear();
      }
      continue;
    }
    const ssize_t n = ::read(cliente, buffer, sizeof buffer);
    if (n <= 0) {
      // The device closed its connection; wait for the next one.
      ::close(cliente);
      cliente = -1;
      continue;
    }
    const std::string resposta = Processar(buffer, static_cast<std::size_t>(n));
    if (!resposta.empty()) EscreverTudo(cliente, resposta);
  }
  if (cliente >= 0) ::close(cliente);
}

// ---------------------------------------------------------------------------
// Pseudo-terminal

std::string EscPosPrinterSim::IniciarPty() {
  const std::string socat = FindProgram("socat");
  if (socat.empty()) throw std::runtime_error("socat not found");
  dirPty_ = std::make_unique<TempDir>();
  const std::string lado = *dirPty_ / "impressora";
  std::string host = *dirPty_ / "host";
  // The device takes names under /dev/tty as serial ports: link the host end
  // there when the folder is writable, else use the temporary link.
  const int numero = contadorPty++;
  if (::access("/dev", W_OK) == 0) {
    linkDev_ = "/dev/ttyBilhetorSim" + std::to_string(::getpid()) + "_" + std::to_string(numero);
    ::unlink(linkDev_.c_str());
    host = linkDev_;
  }
  socat_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{socat, "pty,raw,echo=0,link=" + lado, "pty,raw,echo=0,link=" + host},
      *dirPty_ / "socat.log");
  namespace fs = std::filesystem;
  if (!WaitUntil([&] { return fs::exists(lado) && fs::exists(host); }, std::chrono::milliseconds(5000))) {
    throw std::runtime_error("socat did not create its pty links");
  }
  ptyFd_ = ::open(lado.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (ptyFd_ < 0) throw std::runtime_error("cannot open the pty end");
  termios t{};
  if (::tcgetattr(ptyFd_, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(ptyFd_, TCSANOW, &t);
  }
  nomeSerial_ = host;
  threadPty_ = std::thread([this] { LoopPty(); });
  return host;
}

void EscPosPrinterSim::LoopPty() {
  char buffer[4096];
  while (!parar_) {
    pollfd p[2] = {{pararFd_[0], POLLIN, 0}, {ptyFd_, POLLIN, 0}};
    if (::poll(p, 2, 200) <= 0) continue;
    if (p[0].revents) break;
    if (!(p[1].revents & POLLIN)) {
      // Nobody holds the other end open (HUP): wait a little and look again.
      ::usleep(10000);
      continue;
    }
    const ssize_t n = ::read(ptyFd_, buffer, sizeof buffer);
    if (n <= 0) continue;
    const std::string resposta = Processar(buffer, static_cast<std::size_t>(n));
    if (!resposta.empty()) EscreverTudo(ptyFd_, resposta);
  }
}

}  // namespace bilhetor::testing

// The serial side of the simulated printer on Linux: a socat pseudo-terminal
// pair, one end held by the simulator.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <stdexcept>

#include "support/EscPosPrinterSim.h"

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

void EscPosPrinterSim::EncerrarPty() {
  if (ptyFd_ >= 0) ::close(ptyFd_);
  ptyFd_ = -1;
  socat_.reset();
  if (!linkDev_.empty()) ::unlink(linkDev_.c_str());
}

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
    pollfd p[2] = {{static_cast<int>(pararAviso_.Leitura()), POLLIN, 0}, {ptyFd_, POLLIN, 0}};
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

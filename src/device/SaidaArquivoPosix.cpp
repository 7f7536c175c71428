// File and port output on Linux: open(2) and write(2), poll for the printer
// class devices, and SIGPIPE kept away from the process.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "device/SaidaArquivo.h"

namespace bilhetor {

namespace {

// Keeps SIGPIPE from ending the process while writing to a FIFO or device
// whose reader has gone: the write fails with EPIPE instead.
class SemSigpipe {
 public:
  SemSigpipe() {
    sigemptyset(&conjunto_);
    sigaddset(&conjunto_, SIGPIPE);
    sigset_t pendentes;
    sigpending(&pendentes);
    jaPendente_ = sigismember(&pendentes, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &conjunto_, &anterior_);
  }
  ~SemSigpipe() {
    if (!jaPendente_) {
      sigset_t pendentes;
      sigpending(&pendentes);
      if (sigismember(&pendentes, SIGPIPE) == 1) {
        timespec zero{0, 0};
        sigtimedwait(&conjunto_, nullptr, &zero);
      }
    }
    pthread_sigmask(SIG_SETMASK, &anterior_, nullptr);
  }
  SemSigpipe(const SemSigpipe&) = delete;
  SemSigpipe& operator=(const SemSigpipe&) = delete;

 private:
  sigset_t conjunto_{};
  sigset_t anterior_{};
  bool jaPendente_ = false;
};

// A file or device opened with open(2).
class TSaidaDescritor : public TSaidaArquivo {
 public:
  explicit TSaidaDescritor(int Fd) : fd_(Fd) {}
  ~TSaidaDescritor() override { ::close(fd_); }
  TSaidaDescritor(const TSaidaDescritor&) = delete;
  TSaidaDescritor& operator=(const TSaidaDescritor&) = delete;

  ssize_t Escrever(const char* Dados, size_t Tamanho, int& Erro) override {
    const SemSigpipe semSigpipe;
    const ssize_t n = ::write(fd_, Dados, Tamanho);
    Erro = n < 0 ? errno : 0;
    return n;
  }

  bool AguardarEscrita(int Ms) override {
    const int64_t limite = AgoraMs() + std::max(Ms, 0);
    for (;;) {
      pollfd p{fd_, POLLOUT, 0};
      const int r = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(limite - AgoraMs(), 0)));
      if (r < 0 && errno == EINTR) continue;
      return r > 0 && (p.revents & POLLOUT) != 0;
    }
  }

  int64_t AgoraMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }

  void Dormir(int Ms) override {
    if (Ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<TSaidaArquivo> AbrirSaidaArquivo(const std::string& Nome, TAberturaSaida Modo, int& Erro) {
  int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY;
  switch (Modo) {
    case TAberturaSaida::Porta: flags |= O_NONBLOCK; break;
    case TAberturaSaida::Acrescentar: flags |= O_APPEND; break;
    case TAberturaSaida::Substituir: flags |= O_CREAT | O_TRUNC; break;
  }
  const int fd = ::open(Nome.c_str(), flags, 0644);
  if (fd < 0) {
    Erro = errno;
    return nullptr;
  }
  Erro = 0;
  return std::make_unique<TSaidaDescritor>(fd);
}

TTipoArquivo TipoArquivo(const std::string& Nome) {
  struct stat st {};
  if (::stat(Nome.c_str(), &st) != 0) return TTipoArquivo::Ausente;
  return S_ISREG(st.st_mode) ? TTipoArquivo::Regular : TTipoArquivo::Outro;
}

void ApagarArquivoPorta(const std::string& Nome) {
  struct stat lst {};
  if (::lstat(Nome.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode))
    (void)::truncate(Nome.c_str(), 0);
  else
    ::unlink(Nome.c_str());
}

bool CriarArquivoNovo(const std::string& Nome, int& Erro) {
  const int fd = ::open(Nome.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    Erro = errno;
    return false;
  }
  ::close(fd);
  Erro = 0;
  return true;
}

void RemoverArquivo(const std::string& Nome) { ::unlink(Nome.c_str()); }

std::string NomeArquivoPorta(const std::string& Pasta, const std::string& Tipo, int n) {
  return Pasta + (Tipo == "COM" ? "/ttyS" : "/lp") + std::to_string(n - 1);
}

std::string PastaDispositivosPadrao() { return "/dev"; }

}  // namespace bilhetor

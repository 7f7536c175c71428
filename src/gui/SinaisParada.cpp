#include "gui/SinaisParada.h"

#include <sys/signalfd.h>
#include <unistd.h>

namespace bilhetor {

namespace {

sigset_t SinaisDeParada() {
  sigset_t sinais;
  sigemptyset(&sinais);
  sigaddset(&sinais, SIGTERM);
  sigaddset(&sinais, SIGINT);
  return sinais;
}

}  // namespace

TSinaisParada::TSinaisParada() {
  const sigset_t sinais = SinaisDeParada();
  pthread_sigmask(SIG_BLOCK, &sinais, &anterior_);
  fd_ = ::signalfd(-1, &sinais, SFD_NONBLOCK | SFD_CLOEXEC);
}

TSinaisParada::~TSinaisParada() {
  notificador_.reset();
  if (fd_ >= 0) {
    Ler();
    ::close(fd_);
  }
  pthread_sigmask(SIG_SETMASK, &anterior_, nullptr);
}

bool TSinaisParada::Ler() {
  bool algum = false;
  signalfd_siginfo info;
  while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) algum = true;
  return algum;
}

void TSinaisParada::Vigiar(std::function<void()> aoParar) {
  aoParar_ = std::move(aoParar);
  if (fd_ < 0) return;
  notificador_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  QObject::connect(notificador_.get(), &QSocketNotifier::activated, notificador_.get(), [this] {
    if (Ler() && aoParar_) aoParar_();
  });
}

}  // namespace bilhetor

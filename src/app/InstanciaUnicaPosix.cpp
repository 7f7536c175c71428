// The lock that keeps a second copy of the program from running: a lock
// file in a folder of the user's own.
#include "app/Plataforma.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/Strings.h"

namespace bilhetor {

namespace {

// Closes a descriptor at the end of its scope.
struct TDescritor {
  int fd = -1;
  ~TDescritor() {
    if (fd >= 0) ::close(fd);
  }
};

std::string Ambiente(const char* variavel) {
  const char* valor = std::getenv(variavel);
  return valor ? valor : "";
}

// Why the private folder cannot hold the lock file; empty when it can. The
// folder is opened without following a link and checked through the open
// descriptor, so that it cannot be swapped between the check and the use.
std::string ProblemaPastaPrivada(const std::string& pasta, TDescritor& dir) {
  if (::mkdir(pasta.c_str(), 0700) != 0 && errno != EEXIST)
    return Format("a pasta %s n\xE3o p\xF4" "de ser criada (%s)", pasta.c_str(), std::strerror(errno));
  const std::string dica = "; remova-a ou defina XDG_RUNTIME_DIR";
  dir.fd = ::open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir.fd < 0) {
    const int erro = errno;
    struct stat st {};
    if (::lstat(pasta.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      return "a pasta " + pasta + " \xE9 um link simb\xF3lico" + dica;
    if (erro == ENOTDIR) return pasta + " n\xE3o \xE9 uma pasta" + dica;
    return Format("a pasta %s n\xE3o p\xF4" "de ser aberta (%s)", pasta.c_str(), std::strerror(erro));
  }
  struct stat st {};
  if (::fstat(dir.fd, &st) != 0) return pasta + ": " + std::strerror(errno);
  if (st.st_uid != ::geteuid())
    return Format("a pasta %s pertence a outro usu\xE1rio (uid %u)", pasta.c_str(), static_cast<unsigned>(st.st_uid)) +
           dica;
  if (st.st_mode & (S_IWGRP | S_IWOTH))
    return Format("a pasta %s pode ser gravada por outros usu\xE1rios (modo %04o)", pasta.c_str(),
                  static_cast<unsigned>(st.st_mode & 07777)) +
           dica;
  return "";
}

// Why the lock file is not one this user may lock; empty when it is.
std::string ProblemaArquivo(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return "\xE9 um link simb\xF3lico, que n\xE3o \xE9 seguido";
  if (!S_ISREG(st.st_mode)) return "n\xE3o \xE9 um arquivo comum";
  if (st.st_uid != ::geteuid()) return Format("pertence a outro usu\xE1rio (uid %u)", static_cast<unsigned>(st.st_uid));
  return "";
}

}  // namespace

TInstanciaUnica::TInstanciaUnica(const std::string& nome)
    : TInstanciaUnica(nome, Ambiente("XDG_RUNTIME_DIR"), "/tmp") {}

TInstanciaUnica::TInstanciaUnica(const std::string& nome, const std::string& runtime, const std::string& base) {
  const bool privada = runtime.empty();
  const std::string pasta = privada ? base + "/bilhetor-" + std::to_string(::geteuid()) : runtime;
  const std::string arquivo = nome + ".lock";
  arquivo_ = pasta + "/" + arquivo;
  const auto recusar = [this](const std::string& motivo) { erro_ = arquivo_ + ": " + motivo; };

  TDescritor dir;
  if (privada) {
    if (const std::string problema = ProblemaPastaPrivada(pasta, dir); !problema.empty()) {
      recusar(problema);
      return;
    }
  } else {
    dir.fd = ::open(pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd < 0) {
      recusar(std::strerror(errno));
      return;
    }
  }

  // No link is followed, and O_NONBLOCK keeps a planted FIFO from holding
  // the open; the checks after it refuse anything but a file of this user.
  const int modo = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = ::openat(dir.fd, arquivo.c_str(), O_RDWR | O_CREAT | modo, 0600);
  if (fd < 0 && errno != ELOOP) fd = ::openat(dir.fd, arquivo.c_str(), O_RDONLY | modo);
  struct stat st {};
  if (fd < 0) {
    // Say what is there when it is not ours (a link, another user's file)
    // rather than only "permission denied".
    const int erro = errno;
    const std::string problema =
        ::fstatat(dir.fd, arquivo.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? ProblemaArquivo(st) : "";
    recusar(problema.empty() ? std::strerror(erro) : problema);
    return;
  }
  std::string problema = ::fstat(fd, &st) == 0 ? ProblemaArquivo(st) : std::strerror(errno);
  if (problema.empty()) {
    int r;
    do {
      r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r == 0) {
      trava_ = fd;
      return;
    }
    emUso_ = errno == EWOULDBLOCK;
    if (!emUso_) problema = std::strerror(errno);
  }
  ::close(fd);
  if (!problema.empty()) recusar(problema);
}

TInstanciaUnica::~TInstanciaUnica() {
  if (trava_ != kSemTrava) ::close(static_cast<int>(trava_));
}

}  // namespace bilhetor

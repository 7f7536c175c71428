// The log file and the local time on Linux: flock keeps other writers out
// of the file while a line is appended.
#include "device/DeviceLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

namespace bilhetor {

namespace {

// Writes all of buf to fd, retrying short writes and interruptions.
bool EscreverTudo(int fd, const char* buf, size_t len) {
  while (len > 0) {
    ssize_t n = ::write(fd, buf, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    buf += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void EscreverArquivoLog(const std::string& Arquivo, const std::string& Texto) noexcept {
  try {
    if (Arquivo.empty()) return;
    struct stat st {};
    const bool existe = ::stat(Arquivo.c_str(), &st) == 0;
    if (existe && Texto.empty()) return;
    // Only regular files are logs. A FIFO would block the open until a
    // reader came and every write while nobody reads; a terminal or any
    // other device is not opened at all (opening a serial line raises its
    // modem lines). The open itself never waits, and what it opened is
    // checked again, in case the name changed in between.
    if (existe && !S_ISREG(st.st_mode)) return;
    int fd = ::open(Arquivo.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) return;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return;
    }
    // Readers may share the file; writers that lock wait their turn, but
    // never for long: a log line is not worth a hung print.
    bool travado = false;
    for (int tentativa = 0; tentativa < 100; ++tentativa) {
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        travado = true;
        break;
      }
      if (errno != EWOULDBLOCK && errno != EINTR) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (travado) {
      std::string linha = Texto;
      linha += "\r\n";
      EscreverTudo(fd, linha.data(), linha.size());
      ::flock(fd, LOCK_UN);
    }
    ::close(fd);
  } catch (...) {
    // Logging never raises.
  }
}

TMomentoLog TSystemClock::Agora() {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  std::tm tm{};
  time_t secs = tv.tv_sec;
  ::localtime_r(&secs, &tm);
  TMomentoLog m;
  m.Ano = tm.tm_year + 1900;
  m.Mes = tm.tm_mon + 1;
  m.Dia = tm.tm_mday;
  m.Hora = tm.tm_hour;
  m.Minuto = tm.tm_min;
  m.Segundo = tm.tm_sec;
  m.Milissegundo = static_cast<int>(tv.tv_usec / 1000);
  return m;
}

}  // namespace bilhetor

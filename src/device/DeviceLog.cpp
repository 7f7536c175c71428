#include "device/DeviceLog.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <typeinfo>

#include "common/Strings.h"

namespace bilhetor {

namespace {

const char* NomeControle(unsigned char c) {
  switch (c) {
    case 0: return "[NUL]";
    case 1: return "[SOH]";
    case 2: return "[STX]";
    case 3: return "[ETX]";
    case 5: return "[ENQ]";
    case 6: return "[ACK]";
    case 8: return "[BS]";
    case 9: return "[TAB]";
    case 10: return "[LF]";
    case 12: return "[FF]";
    case 13: return "[CR]";
    case 17: return "[WAK]";
    case 21: return "[NAK]";
    case 27: return "[ESC]";
    case 28: return "[FS]";
    case 29: return "[GS]";
    default: return nullptr;
  }
}

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

std::string TraduzirControles(const std::string& Texto) {
  std::string r;
  r.reserve(Texto.size() + Texto.size() / 4);
  for (char ch : Texto) {
    auto c = static_cast<unsigned char>(ch);
    if (const char* nome = NomeControle(c)) {
      r += nome;
    } else if (c >= 32 && c <= 126) {
      r += ch;
    } else {
      r += '[';
      r += std::to_string(c);
      r += ']';
    }
  }
  return r;
}

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

std::string FormatarMomentoLog(const TMomentoLog& m) {
  return Format("%02d/%02d %02d:%02d:%02d:%03d", m.Dia, m.Mes, m.Hora, m.Minuto, m.Segundo, m.Milissegundo);
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

int64_t TSystemClock::MonotonicoMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void TSystemClock::Dormir(int Milissegundos) {
  if (Milissegundos > 0) std::this_thread::sleep_for(std::chrono::milliseconds(Milissegundos));
}

std::string NomeClasseErro(const std::exception& E) {
  const char* mangled = typeid(E).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string nome = (status == 0 && demangled != nullptr) ? demangled : mangled;
  std::free(demangled);
  // Only the class's own name: "bilhetor::ESocketError" -> "ESocketError".
  auto pos = nome.rfind("::");
  if (pos != std::string::npos) nome = nome.substr(pos + 2);
  return nome;
}

}  // namespace bilhetor

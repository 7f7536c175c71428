// The log file and the local time on Windows: LockFileEx keeps other writers
// out of the file while a line is appended.
#include <windows.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "device/DeviceLog.h"

namespace bilhetor {

void EscreverArquivoLog(const std::string& Arquivo, const std::string& Texto) noexcept {
  try {
    if (Arquivo.empty()) return;
    const bool existe = GetFileAttributesA(Arquivo.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (existe && Texto.empty()) return;
    // Append access only (every write goes to the end), shared with readers
    // and other writers, which take the lock below.
    const HANDLE h = CreateFileA(Arquivo.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    // Only disk files are logs: a pipe, a console or a port named as the log
    // is left alone, so logging never blocks.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      CloseHandle(h);
      return;
    }
    // Writers that lock wait their turn, but never for long: a log line is
    // not worth a hung print. The lock covers every byte the file can have.
    bool travado = false;
    OVERLAPPED regiao{};
    for (int tentativa = 0; tentativa < 100; ++tentativa) {
      if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &regiao)) {
        travado = true;
        break;
      }
      if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (travado) {
      std::string linha = Texto;
      linha += "\r\n";
      const char* p = linha.data();
      size_t falta = linha.size();
      while (falta > 0) {
        DWORD escritos = 0;
        const DWORD pedido = falta > 0x40000000u ? 0x40000000u : static_cast<DWORD>(falta);
        if (!WriteFile(h, p, pedido, &escritos, nullptr) || escritos == 0) break;
        p += escritos;
        falta -= escritos;
      }
      UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &regiao);
    }
    CloseHandle(h);
  } catch (...) {
    // Logging never raises.
  }
}

TMomentoLog TSystemClock::Agora() {
  using namespace std::chrono;
  const auto agora = system_clock::now();
  const time_t secs = system_clock::to_time_t(agora);
  const auto ms = duration_cast<milliseconds>(agora.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_s(&tm, &secs);
  TMomentoLog m;
  m.Ano = tm.tm_year + 1900;
  m.Mes = tm.tm_mon + 1;
  m.Dia = tm.tm_mday;
  m.Hora = tm.tm_hour;
  m.Minuto = tm.tm_min;
  m.Segundo = tm.tm_sec;
  m.Milissegundo = static_cast<int>(ms < 0 ? ms + 1000 : ms);
  return m;
}

}  // namespace bilhetor

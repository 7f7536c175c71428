#include "device/DeviceLog.h"

#include <cxxabi.h>

#include <chrono>
#include <cstdlib>
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

std::string FormatarMomentoLog(const TMomentoLog& m) {
  return Format("%02d/%02d %02d:%02d:%02d:%03d", m.Dia, m.Mes, m.Hora, m.Minuto, m.Segundo, m.Milissegundo);
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

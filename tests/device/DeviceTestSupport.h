#pragma once
// Helpers shared by the device tests: a clock that stands still and records
// the waits asked of it, a spooler with a fixed printer list, and log reading.
#include <string>
#include <vector>

#include "common/Strings.h"
#include "device/Device.h"
#include "support/TestSupport.h"

namespace bilhetor::testing {

// Always 08/12 14:03:27.915; its millisecond counter moves only by the waits.
class StillClock : public TDeviceClock {
 public:
  TMomentoLog Agora() override {
    TMomentoLog m;
    m.Ano = 2026;
    m.Mes = 12;
    m.Dia = 8;
    m.Hora = 14;
    m.Minuto = 3;
    m.Segundo = 27;
    m.Milissegundo = 915;
    return m;
  }
  int64_t MonotonicoMs() override { return ms_; }
  void Dormir(int ms) override {
    sleeps.push_back(ms);
    ms_ += ms;
  }
  std::vector<int> sleeps;

 private:
  int64_t ms_ = 1000;
};

// A spooler with a printer list of the test's choosing that records jobs.
class ListSpooler : public TPrinterSpooler {
 public:
  TListaImpressoras ListarImpressoras() override {
    ++listings;
    return lista;
  }
  TResultadoRaw ImprimirRaw(const std::string& nome, const std::string& titulo, const std::string& dados,
                            std::string& erro) override {
    jobs.push_back({nome, titulo, dados});
    erro = motivo;
    return resultado;
  }
  struct Job {
    std::string nome, titulo, dados;
  };
  TListaImpressoras lista;
  TResultadoRaw resultado = TResultadoRaw::Impresso;
  std::string motivo;
  std::vector<Job> jobs;
  int listings = 0;
};

// The log lines of a device log file, without their CR LF, and without the
// "-- dd/mm hh:nn:ss:zzz " prefix when strip is set.
inline std::vector<std::string> LogLines(const std::string& path, bool strip = true) {
  std::vector<std::string> lines;
  const std::string text = ReadFile(path);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (strip && line.rfind("-- ", 0) == 0 && line.size() >= 22) line = line.substr(22);
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

}  // namespace bilhetor::testing

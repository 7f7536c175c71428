// The local clock and calendar: the machine's time, a file's modification
// time, the formats of the window's clocks.
#include "app/Plataforma.h"

#include <sys/stat.h>

#include <chrono>
#include <ctime>

#include "common/Strings.h"

namespace bilhetor {

namespace {

TDataHora DeTm(const std::tm& t, int milissegundo) {
  return TDataHora{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, milissegundo};
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long DiasCivis(int ano, int mes, int dia) {
  const int y = mes <= 2 ? ano - 1 : ano;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * ((mes + 9) % 12) + 2) / 5 + dia - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<long long>(era) * 146097 + doe - 719468;
}

}  // namespace

TDataHora TRelogioSistema::Agora() const {
  const auto agora = std::chrono::system_clock::now();
  const std::time_t segundos = std::chrono::system_clock::to_time_t(agora);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(agora.time_since_epoch()).count() % 1000;
  std::tm t{};
  localtime_r(&segundos, &t);
  return DeTm(t, static_cast<int>(ms));
}

std::optional<TDataHora> DataModificacao(const std::string& arquivo) {
  struct stat st {};
  if (::stat(arquivo.c_str(), &st) != 0) return std::nullopt;
  std::tm t{};
  const std::time_t quando = st.st_mtim.tv_sec;
  localtime_r(&quando, &t);
  return DeTm(t, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
}

long long MilissegundosEntre(const TDataHora& a, const TDataHora& b) {
  const auto ms = [](const TDataHora& m) {
    return (DiasCivis(m.Ano, m.Mes, m.Dia) * 86400LL + m.Hora * 3600LL + m.Minuto * 60LL + m.Segundo) * 1000LL +
           m.Milissegundo;
  };
  return ms(b) - ms(a);
}

std::string FormatarHora(const TDataHora& m) { return Format("%02d:%02d:%02d", m.Hora, m.Minuto, m.Segundo); }

std::string FormatarData(const TDataHora& m) { return Format("%02d/%02d/%04d", m.Dia, m.Mes, m.Ano); }

}  // namespace bilhetor

// The local clock and calendar: the machine's time, a file's modification
// time, the formats of the window's clocks.
#include "app/Plataforma.h"

#include <chrono>
#include <ctime>
#include <filesystem>

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
  HoraLocal(segundos, t);
  return DeTm(t, static_cast<int>(ms));
}

std::optional<TDataHora> DataModificacao(const std::string& arquivo) {
  std::error_code ec;
  const auto escrita = std::filesystem::last_write_time(arquivo, ec);
  if (ec) return std::nullopt;
  const auto quando = std::chrono::time_point_cast<std::chrono::milliseconds>(
      std::chrono::file_clock::to_sys(escrita));
  const long long ms = quando.time_since_epoch().count();
  const std::time_t segundos = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  std::tm t{};
  if (!HoraLocal(segundos, t)) return std::nullopt;
  return DeTm(t, static_cast<int>(ms - static_cast<long long>(segundos) * 1000));
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

#pragma once
// A local date and time as the print server shows it (the ticket's date line,
// the window's clocks, the journal's records).
#include <ctime>

namespace bilhetor {

struct TDataHora {
  int Ano = 0, Mes = 0, Dia = 0;
  int Hora = 0, Minuto = 0, Segundo = 0, Milissegundo = 0;
};

// The local calendar time of a moment (localtime_r; localtime_s on Windows).
// False when the moment cannot be converted.
bool HoraLocal(std::time_t momento, std::tm& hora);

}  // namespace bilhetor

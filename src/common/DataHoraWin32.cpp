#include "common/DataHora.h"

namespace bilhetor {

bool HoraLocal(std::time_t momento, std::tm& hora) { return localtime_s(&hora, &momento) == 0; }

}  // namespace bilhetor

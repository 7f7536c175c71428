#include "common/DataHora.h"

namespace bilhetor {

bool HoraLocal(std::time_t momento, std::tm& hora) { return localtime_r(&momento, &hora) != nullptr; }

}  // namespace bilhetor

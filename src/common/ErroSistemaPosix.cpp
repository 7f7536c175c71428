#include "common/ErroSistema.h"

#include <cstring>

namespace bilhetor {

std::string DescricaoErroSistema(unsigned long codigo) { return std::strerror(static_cast<int>(codigo)); }

}  // namespace bilhetor

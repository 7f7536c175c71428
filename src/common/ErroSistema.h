#pragma once
// The text of an error number of the operating system: errno values on Linux
// (strerror), GetLastError values on Windows (FormatMessage, without the line
// break it ends with).
#include <string>

namespace bilhetor {

std::string DescricaoErroSistema(unsigned long codigo);

}  // namespace bilhetor

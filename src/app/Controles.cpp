#include "app/Controles.h"

#include <algorithm>

#include "common/Strings.h"

namespace bilhetor {

int TSpinEdit::Value() const {
  int v = 0;
  return TryStrToInt(Text, v) ? v : MinValue;
}

void TSpinEdit::SetValue(int valor) { Text = std::to_string(std::clamp(valor, MinValue, MaxValue)); }

}  // namespace bilhetor

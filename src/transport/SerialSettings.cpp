#include "transport/SerialSettings.h"

namespace bilhetor::transport_detail {

bool ValidLineSettings(const LineSettings& s) {
  return s.baud > 0 && s.bits >= 5 && s.bits <= 8 && s.stop >= 0 && s.stop <= 2;
}

}  // namespace bilhetor::transport_detail

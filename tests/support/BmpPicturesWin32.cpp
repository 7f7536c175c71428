// The Windows tests do not start ImageMagick (a Linux program): the tests
// that turn pictures into BMP files with it skip.
#include "support/BmpPictures.h"

namespace bilhetor::testing {

bool ConvertAvailable() { return false; }

bool RunConvert(const std::vector<std::string>&) { return false; }

}  // namespace bilhetor::testing

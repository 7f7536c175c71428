#include "db/VioTls.h"

#include "common/Strings.h"

namespace bilhetor {

namespace {

struct TModeName {
  TSslMode mode;
  const char* name;
};
constexpr TModeName kModeNames[] = {{TSslMode::Disabled, "DISABLED"},
                                    {TSslMode::Preferred, "PREFERRED"},
                                    {TSslMode::Required, "REQUIRED"},
                                    {TSslMode::VerifyCa, "VERIFY_CA"},
                                    {TSslMode::VerifyIdentity, "VERIFY_IDENTITY"}};

}  // namespace

bool SslModeFromName(const std::string& name, TSslMode& mode) {
  const std::string wanted = Trim(name);
  for (const TModeName& m : kModeNames) {
    if (SameText(wanted, m.name)) {
      mode = m.mode;
      return true;
    }
  }
  return false;
}

const char* SslModeName(TSslMode mode) {
  for (const TModeName& m : kModeNames)
    if (m.mode == mode) return m.name;
  return "";
}

}  // namespace bilhetor

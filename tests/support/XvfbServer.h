#pragma once
// A private X server (Xvfb) for tests that run a program with its window: a
// display number that nothing used, no TCP listener, stopped with the object.
#include <memory>
#include <string>

#include "support/TestSupport.h"

namespace bilhetor::testing {

class XvfbServer {
 public:
  // Starts Xvfb on the first free display from a number derived from the
  // process id; throws std::runtime_error when Xvfb is missing or no display
  // could be started.
  XvfbServer();
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // ":<n>", the value for DISPLAY.
  const std::string& Display() const { return display_; }

 private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> processo_;
  std::string display_;
};

}  // namespace bilhetor::testing

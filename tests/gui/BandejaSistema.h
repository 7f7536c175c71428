#pragma once
// A system tray on a test X server, as a desktop panel provides one: it owns
// the tray selection of screen 0 (_NET_SYSTEM_TRAY_S0), takes the icons that
// ask to be docked and embeds them in its own window, so that a test can see
// that a program's tray icon arrived and what it painted.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

struct xcb_connection_t;

namespace bilhetor::testing {

class BandejaSistema {
 public:
  // Connects to the display and takes the tray selection; throws
  // std::runtime_error when the display cannot be opened or another tray
  // already holds the selection.
  explicit BandejaSistema(const std::string& display);
  ~BandejaSistema();
  BandejaSistema(const BandejaSistema&) = delete;
  BandejaSistema& operator=(const BandejaSistema&) = delete;

  // Waits for an icon's dock request and embeds that icon; returns its
  // window, or 0 when none asked in time.
  std::uint32_t EsperarIcone(std::chrono::milliseconds limite);

  // The number of different colours in the docked icon's picture, read from
  // the server (a window nobody painted has one).
  int CoresDoIcone();

 private:
  void Tratar(std::chrono::milliseconds limite);

  struct Desconectar {
    void operator()(xcb_connection_t* c) const;
  };
  std::unique_ptr<xcb_connection_t, Desconectar> conexao_;
  std::uint32_t janela_ = 0;
  std::uint32_t icone_ = 0;
  std::uint32_t opcode_ = 0;
};

}  // namespace bilhetor::testing

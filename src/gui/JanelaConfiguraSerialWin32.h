#pragma once
// The serial settings dialog on Windows: a view of TfrConfiguraSerial from the
// dialog template IDD_CONFIGURA_SERIAL (the resources of the window module).
// As the Qt dialog: each control's change goes into the model and runs its
// handler, and after each handler the dialog shows the model again; the
// editable lists (port, speed) reach the model when the operator leaves them,
// picks an item or presses OK.
#include <windows.h>

#include <functional>

#include "app/ConfiguraSerial.h"
#include "app/Plataforma.h"

namespace bilhetor {

class TDialogosWin32 : public TDialogos {
 public:
  // instancia holds the dialog template.
  explicit TDialogosWin32(HINSTANCE instancia) : instancia_(instancia) {}
  void DefinirPai(HWND pai) { pai_ = pai; }
  TModalResult MostrarModal(TfrConfiguraSerial& Dialogo) override;

  // Called from the dialog's own message loop once it shows, with its
  // window: tests answer the dialog through it.
  std::function<void(HWND)> AoAbrir;

 private:
  HINSTANCE instancia_;
  HWND pai_ = nullptr;
};

}  // namespace bilhetor

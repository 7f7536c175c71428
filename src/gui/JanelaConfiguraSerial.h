#pragma once
// The serial settings dialog ("Porta Serial"), a view of TfrConfiguraSerial,
// and TDialogosQt, which shows it modally for the main window.
//
// Like the main window it holds no logic: a pick in a list or a click on a
// switch goes into the model and runs its handler, then the dialog shows the
// model again (the refresh of the handshake and the two switches appears at
// once). The port and the speed are typed or picked; what was typed reaches
// the model when the operator leaves the box, presses Enter, or presses OK.
// OK and Cancelar close the dialog with their result; closing it in any
// other way is a Cancel.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "app/ConfiguraSerial.h"

namespace bilhetor {

class TJanelaConfiguraSerial : public QDialog {
 public:
  TJanelaConfiguraSerial(TfrConfiguraSerial& dialogo, QWidget* parent = nullptr);
  ~TJanelaConfiguraSerial() override;

  // Shows the dialog modally; returns the model's ModalResult, mrCancel when
  // it closed with neither button.
  TModalResult Executar();
  void Renderizar();

 private:
  QComboBox* Lista(TComboBox& modelo, void (TfrConfiguraSerial::*handler)(), const char* nome, bool editavel);
  QCheckBox* Caixa(TCheckBox& modelo, void (TfrConfiguraSerial::*handler)(), const char* nome);
  void Handler(void (TfrConfiguraSerial::*handler)());
  // Text typed in the two editable lists, into the model.
  void ConfirmarTextos();

  TfrConfiguraSerial& dialogo_;
  std::vector<std::function<void()>> renderizar_;
  std::vector<std::function<void()>> confirmar_;
};

// The dialogs of the main window, shown over it.
class TDialogosQt : public TDialogos {
 public:
  explicit TDialogosQt(QWidget* pai = nullptr) : pai_(pai) {}
  void DefinirPai(QWidget* pai) { pai_ = pai; }
  TModalResult MostrarModal(TfrConfiguraSerial& Dialogo) override;

 private:
  QWidget* pai_;
};

}  // namespace bilhetor

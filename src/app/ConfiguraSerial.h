#pragma once
// TfrConfiguraSerial: the serial settings dialog ("Porta Serial") as a plain
// model. It edits a device of its own, never the engine's: the main window
// copies the engine's port and parameter string into it before showing it,
// and takes the port and the parameter string back only when it closes with
// OK (TfrmBilhetor::btSerialClick).
//
// The controls, in tab order: the port (an editable list, COM1 to COM9), the
// speed (an editable list of the usual speeds), data bits, parity, stop bits
// and handshake (fixed lists in the order of their enumerations), OK,
// Cancelar, and the HardFlow and SoftFlow switches.
//
// FormShow puts the device's settings into the controls; each change handler
// puts one control into the device. The device ties the handshake and the two
// switches together (RTS/CTS is HardFlow, XON/XOFF is SoftFlow), so the
// handshake box and both switches are refreshed from the device after any of
// the three changes. A switch that the refresh changes runs its own handler
// again; the second pass finds the device already agreeing, so it settles.
//
// Handlers let errors out (a speed that is not a number, a value out of the
// device's range); ExecutarTratando shows them in the default error box, and
// the device keeps its value.
#include <functional>
#include <memory>
#include <string>

#include "app/Controles.h"
#include "app/Plataforma.h"
#include "device/Device.h"

namespace bilhetor {

class TfrConfiguraSerial {
 public:
  // FormCreate: the device and the lists.
  explicit TfrConfiguraSerial(TMensagens& mensagens);
  // FormDestroy: the device goes with the dialog.
  ~TfrConfiguraSerial();
  TfrConfiguraSerial(const TfrConfiguraSerial&) = delete;
  TfrConfiguraSerial& operator=(const TfrConfiguraSerial&) = delete;

  TDevice& Device() { return *device_; }

  std::string Caption = "Porta Serial";
  TComboBox cmbPortaSerial;  // editable: Text counts
  TComboBox cmbBaudRate;     // editable: Text counts
  TComboBox cmbDataBits;
  TComboBox cmbParity;
  TComboBox cmbStopBits;
  TComboBox cmbHandShaking;
  TCheckBox chHardFlow{"HardFlow"};
  TCheckBox chSoftFlow{"SoftFlow"};
  // mrOk or mrCancel once a button closed the dialog.
  TModalResult ModalResult = TModalResult::mrNone;

  // The device's settings into the controls.
  void FormShow();

  // One control into the device.
  void cmbPortaSerialChange();
  void cmbBaudRateChange();
  void cmbDataBitsChange();
  void cmbParityChange();
  void cmbStopBitsChange();
  void cmbHandShakingChange();
  void chHardFlowClick();
  void chSoftFlowClick();

  void btOKClick() { ModalResult = TModalResult::mrOk; }
  void btCancelarClick() { ModalResult = TModalResult::mrCancel; }

  // Runs a handler; an error it lets out goes to the default error box.
  // Returns false when there was one.
  bool ExecutarTratando(const std::function<void()>& handler);

 private:
  // The handshake box and the two switches from the device.
  void Atualizar();
  void DefinirMarcado(TCheckBox& caixa, bool marcado, void (TfrConfiguraSerial::*handler)());

  TMensagens& mensagens_;
  std::unique_ptr<TDevice> device_;
};

}  // namespace bilhetor

#pragma once
// TJanelaBilhetor: the print server's window and tray icon, a view of the
// main window model (TfrmBilhetor). It holds no logic of its own: each
// operator action first puts the control's value into the model and then
// runs the model's handler (errors go to the default error box), and after
// every handler and every tick the window shows the model again.
//
// What the operator sees:
// - the four clocks, "PARAR"/"INICIAR", and the printer settings grouped as
//   printer, barcode, QR code, logo and drawer, with "Ativar"/"Desativar" and
//   "Serial" (shown for serial ports only);
// - a tray icon with the hint "Vialto Gerenciador da Impressão" and the menu
//   "Restaurar", "Encerrar Programa"; a double click brings the window back.
//
// Showing the model never runs a handler, and a value the operator is
// typing is not overwritten: a control is rewritten only when the model's
// value changed since the control last showed it (or since the operator
// gave it to the model). Text in editable lists (the port) reaches the model
// when the operator leaves the box, presses Enter or picks an item; spin
// boxes and the log file name take every keystroke (they have no handler).
//
// The model's two timers run as QTimers: started, stopped and restarted as
// the model's TTimer says, each tick going through the model's handler.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/Bilhetor.h"
#include "app/Vinculo.h"
#include "gui/SpinEditQt.h"

namespace bilhetor {

// The icon of the tray and the windows (built into the program).
QIcon IconeBilhetor();

class TJanelaBilhetor : public QWidget {
 public:
  explicit TJanelaBilhetor(TfrmBilhetor& form, QWidget* parent = nullptr);
  ~TJanelaBilhetor() override;

  // After a successful start-up: the tray (when the desktop has a
  // notification area; bandejaDisponivel is asked again every second, for a
  // panel that starts after the program), the start minimized, the window
  // centred, the timers running.
  void Iniciar(std::function<bool()> bandejaDisponivel);

  // Runs a handler of the model (its error to the default error box), then
  // shows the model.
  void Executar(const std::function<void()>& handler);
  // Shows the model: controls, clocks, timers, window state, tray icon.
  void Renderizar();

  // The ticks of Timer1 and Timer2.
  void Timer1Tick();
  void Timer2Tick();

  QTimer& Timer1() { return timer1_; }
  QTimer& Timer2() { return timer2_; }
  QSystemTrayIcon& TrayIcon() { return *tray_; }
  QMenu& MenuBandeja() { return *menu_; }

 protected:
  void closeEvent(QCloseEvent* evento) override;
  void changeEvent(QEvent* evento) override;

 private:
  QWidget* CriarSituacao();
  QWidget* CriarImpressora();
  // A group of the window with the settings of one section of the settings
  // file, as the table of settings lists them.
  QWidget* CriarSecao(const char* secao, const char* titulo);
  // A handler of the model as an action that Executar can run.
  std::function<void()> Acao(void (TfrmBilhetor::*handler)());
  TSpinEditQt* Spin(TSpinEdit& modelo, const char* nome);
  QCheckBox* Caixa(TCheckBox& modelo, void (TfrmBilhetor::*handler)(), const char* nome);
  QComboBox* Lista(TComboBox& modelo, void (TfrmBilhetor::*handler)(), const char* nome);
  QPushButton* Botao(TButton& modelo, void (TfrmBilhetor::*handler)(), const char* nome);
  void ConfirmarPorta();
  void AplicarEstadoJanela();
  void SincronizarTimer(QTimer& qt, const TTimer& modelo, uint64_t& partidas);
  void TrazerParaFrente();

  TfrmBilhetor& form_;
  QTimer timer1_, timer2_;
  uint64_t partidas1_ = 0, partidas2_ = 0;
  std::unique_ptr<QMenu> menu_;
  QSystemTrayIcon* tray_ = nullptr;
  std::function<bool()> bandejaDisponivel_;
  // Set while the window shows the model's state, so that the state changes
  // this causes are not taken for the operator's.
  bool renderizando_ = false;

  QLabel* label4_ = nullptr;
  QLabel* label6_ = nullptr;
  QLabel* label7_ = nullptr;
  QLabel* label10_ = nullptr;
  QComboBox* cbxPorta_ = nullptr;
  QLineEdit* edLog_ = nullptr;
  std::unique_ptr<TVinculo<std::string>> porta_;
  std::unique_ptr<TVinculo<std::string>> log_;
  // Every other control: how to show it.
  std::vector<std::function<void()>> renderizar_;
};

}  // namespace bilhetor

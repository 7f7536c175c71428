#pragma once
// The message boxes of the window: one box at a time (TCaixaMensagem), shown
// without blocking, so that the clocks and the print cycle go on while it is
// open and a message that keeps coming is counted in the one box instead of
// piling up boxes. Every message is also written to a stream (standard error)
// as one line with the date and time.
#include <QMessageBox>
#include <iosfwd>
#include <memory>

#include "app/CaixaMensagem.h"

namespace bilhetor {

class TMensagensQt : public TMensagensJanela {
 public:
  TMensagensQt(std::ostream& log, const TRelogioLocal& relogio);
  ~TMensagensQt() override;

  // Runs the events until the operator closes the box (nothing when none is
  // open): the last message of a program that is about to end.
  void AguardarFechamento();

  // The box while it is open, else null.
  QMessageBox* Caixa() const;

 protected:
  void Exibir() override;

 private:
  std::unique_ptr<QMessageBox> janela_;
};

}  // namespace bilhetor

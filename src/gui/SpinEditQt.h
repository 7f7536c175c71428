#pragma once
// The spin box of the window, shaped after the model's TSpinEdit: the arrows
// step the value within the range, while text typed by the operator is kept
// as typed, in or out of the range, number or not (QSpinBox would refuse or
// clamp it). The model decides what the text is worth.
#include <QAbstractSpinBox>
#include <functional>

namespace bilhetor {

class TSpinEditQt : public QAbstractSpinBox {
 public:
  TSpinEditQt(int minimo, int maximo, QWidget* parent = nullptr);

  QString Texto() const;
  // Shows a text from the model; AoEditar is not called.
  void DefinirTexto(const QString& texto);

  // Called with the new text after the operator typed or stepped.
  std::function<void(const QString&)> AoEditar;

  void stepBy(int passos) override;
  QValidator::State validate(QString& texto, int& posicao) const override;
  // Wide enough for the largest value of the range.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  StepEnabled stepEnabled() const override;

 private:
  int minimo_, maximo_;
};

}  // namespace bilhetor

#include "gui/SpinEditQt.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <algorithm>

#include "common/Strings.h"
#include "gui/TextoQt.h"

namespace bilhetor {

TSpinEditQt::TSpinEditQt(int minimo, int maximo, QWidget* parent)
    : QAbstractSpinBox(parent), minimo_(minimo), maximo_(maximo) {
  DefinirTexto(QString::number(minimo));
  connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& texto) {
    if (AoEditar) AoEditar(texto);
  });
}

QString TSpinEditQt::Texto() const { return lineEdit()->text(); }

void TSpinEditQt::DefinirTexto(const QString& texto) { lineEdit()->setText(texto); }

void TSpinEditQt::stepBy(int passos) {
  // From the value the text stands for (the minimum when it is no number),
  // within the range.
  int atual = 0;
  if (!TryStrToInt(DeQt(Texto()), atual)) atual = minimo_;
  const long long novo = std::clamp<long long>(static_cast<long long>(atual) + passos, minimo_, maximo_);
  DefinirTexto(QString::number(novo));
  if (AoEditar) AoEditar(Texto());
}

QValidator::State TSpinEditQt::validate(QString&, int&) const { return QValidator::Acceptable; }

QSize TSpinEditQt::sizeHint() const {
  ensurePolished();
  QStyleOptionSpinBox opcao;
  initStyleOption(&opcao);
  const QString maior = QString::number(maximo_) + QLatin1Char('0');
  const QSize texto(fontMetrics().horizontalAdvance(maior) + 6, lineEdit()->sizeHint().height());
  return style()->sizeFromContents(QStyle::CT_SpinBox, &opcao, texto, this);
}

QAbstractSpinBox::StepEnabled TSpinEditQt::stepEnabled() const { return StepUpEnabled | StepDownEnabled; }

}  // namespace bilhetor

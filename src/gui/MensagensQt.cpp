#include "gui/MensagensQt.h"

#include <QApplication>
#include <QEventLoop>

#include "common/Strings.h"
#include "gui/TextoQt.h"

namespace bilhetor {

TMensagensQt::TMensagensQt(std::ostream& log, const TRelogioLocal& relogio) : TMensagensJanela(log, relogio) {}

TMensagensQt::~TMensagensQt() = default;

QMessageBox* TMensagensQt::Caixa() const { return caixa_.Aberta() ? janela_.get() : nullptr; }

void TMensagensQt::Exibir() {
  if (!janela_) {
    janela_ = std::make_unique<QMessageBox>();
    janela_->setObjectName("CaixaMensagem");
    janela_->setWindowModality(Qt::NonModal);
    janela_->setStandardButtons(QMessageBox::Ok);
    QObject::connect(janela_.get(), &QDialog::finished, janela_.get(), [this] { caixa_.Fechar(); });
  }
  static const QMessageBox::Icon kIcones[] = {QMessageBox::Information, QMessageBox::Warning, QMessageBox::Critical};
  // Over a modal dialog (the serial settings) a box that is not modal itself
  // could not be reached until the dialog closed.
  QWidget* modal = QApplication::activeModalWidget();
  const Qt::WindowModality modalidade = modal && modal != janela_.get() ? Qt::ApplicationModal : Qt::NonModal;
  if (janela_->windowModality() != modalidade) {
    janela_->hide();
    janela_->setWindowModality(modalidade);
  }
  janela_->setIcon(kIcones[static_cast<int>(caixa_.Icone())]);
  janela_->setWindowTitle(ParaQt(caixa_.Titulo()));
  // Some texts separate their lines with a CR alone (the second copy's message).
  janela_->setText(ParaQt(ReplaceAll(ReplaceAll(caixa_.Texto(), "\r\n", "\n"), "\r", "\n")));
  if (!janela_->isVisible()) janela_->show();
  janela_->raise();
  janela_->activateWindow();
}

void TMensagensQt::AguardarFechamento() {
  if (!caixa_.Aberta()) return;
  QEventLoop laco;
  QObject::connect(janela_.get(), &QDialog::finished, &laco, &QEventLoop::quit);
  laco.exec();
}

}  // namespace bilhetor

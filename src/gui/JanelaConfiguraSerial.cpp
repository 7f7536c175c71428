#include "gui/JanelaConfiguraSerial.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/JanelaBilhetor.h"
#include "gui/TextoQt.h"

namespace bilhetor {

TJanelaConfiguraSerial::TJanelaConfiguraSerial(TfrConfiguraSerial& dialogo, QWidget* parent)
    : QDialog(parent), dialogo_(dialogo) {
  setObjectName("TfrConfiguraSerial");
  setWindowTitle(ParaQt(dialogo_.Caption));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  QComboBox* porta = Lista(dialogo_.cmbPortaSerial, &TfrConfiguraSerial::cmbPortaSerialChange, "cmbPortaSerial", true);
  porta->setMaxVisibleItems(10);
  QComboBox* baud = Lista(dialogo_.cmbBaudRate, &TfrConfiguraSerial::cmbBaudRateChange, "cmbBaudRate", true);
  QComboBox* data = Lista(dialogo_.cmbDataBits, &TfrConfiguraSerial::cmbDataBitsChange, "cmbDataBits", false);
  QComboBox* parity = Lista(dialogo_.cmbParity, &TfrConfiguraSerial::cmbParityChange, "cmbParity", false);
  QComboBox* stop = Lista(dialogo_.cmbStopBits, &TfrConfiguraSerial::cmbStopBitsChange, "cmbStopBits", false);
  QComboBox* handshake =
      Lista(dialogo_.cmbHandShaking, &TfrConfiguraSerial::cmbHandShakingChange, "cmbHandShaking", false);
  QCheckBox* hard = Caixa(dialogo_.chHardFlow, &TfrConfiguraSerial::chHardFlowClick, "chHardFlow");
  QCheckBox* soft = Caixa(dialogo_.chSoftFlow, &TfrConfiguraSerial::chSoftFlowClick, "chSoftFlow");

  auto* campos = new QFormLayout;
  const std::pair<const char*, QComboBox*> linhas[] = {{"&Porta Serial", porta},
                                                       {"&Baud rate (Bits por Segundo)", baud},
                                                       {"&Data Bits (Bits de Dados)", data},
                                                       {"&Parity (Paridade)", parity},
                                                       {"&Stop Bits (Bits de Parada)", stop},
                                                       {"&Handshaking (Controle de Fluxo)", handshake}};
  for (const auto& [titulo, lista] : linhas) {
    auto* rotulo = new QLabel(QString::fromUtf8(titulo));
    rotulo->setBuddy(lista);
    campos->addRow(rotulo, lista);
  }
  auto* chaves = new QHBoxLayout;
  chaves->addWidget(hard);
  chaves->addWidget(soft);
  chaves->addStretch(1);
  campos->addRow(chaves);

  auto* botoes = new QDialogButtonBox;
  QPushButton* ok = botoes->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName("btOK");
  ok->setDefault(true);
  QPushButton* cancelar = botoes->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
  cancelar->setObjectName("btCancelar");
  connect(ok, &QPushButton::clicked, this, [this] {
    ConfirmarTextos();
    dialogo_.btOKClick();
    accept();
  });
  connect(cancelar, &QPushButton::clicked, this, [this] {
    dialogo_.btCancelarClick();
    reject();
  });

  auto* principal = new QVBoxLayout(this);
  principal->addLayout(campos);
  principal->addWidget(botoes);
  principal->setSizeConstraint(QLayout::SetFixedSize);

  QWidget* ordem[] = {porta, baud, data, parity, stop, handshake, ok, cancelar, hard, soft};
  for (std::size_t i = 0; i + 1 < std::size(ordem); ++i) setTabOrder(ordem[i], ordem[i + 1]);
  porta->setFocus();
  Renderizar();
}

TJanelaConfiguraSerial::~TJanelaConfiguraSerial() = default;

QComboBox* TJanelaConfiguraSerial::Lista(TComboBox& modelo, void (TfrConfiguraSerial::*handler)(), const char* nome,
                                         bool editavel) {
  auto* lista = new QComboBox;
  lista->setObjectName(nome);
  for (const std::string& item : modelo.Items) lista->addItem(ParaQt(item));
  if (!editavel) {
    auto vinculo = std::make_shared<TVinculo<int>>([&modelo] { return modelo.ItemIndex; },
                                                   [lista](const int& i) { lista->setCurrentIndex(i); });
    connect(lista, &QComboBox::activated, this, [this, &modelo, handler, vinculo](int i) {
      modelo.ItemIndex = i;
      vinculo->Editado(i);
      Handler(handler);
    });
    renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
    return lista;
  }
  lista->setEditable(true);
  lista->setInsertPolicy(QComboBox::NoInsert);
  auto vinculo = std::make_shared<TVinculo<std::string>>([&modelo] { return modelo.Text; },
                                                         [lista](const std::string& t) {
                                                           lista->setCurrentIndex(lista->findText(ParaQt(t)));
                                                           lista->setEditText(ParaQt(t));
                                                         });
  auto confirmar = [this, &modelo, handler, vinculo, lista] {
    const std::string texto = DeQt(lista->currentText());
    if (texto == modelo.Text) return;
    modelo.Text = texto;
    modelo.ItemIndex = lista->findText(lista->currentText());
    vinculo->Editado(texto);
    Handler(handler);
  };
  connect(lista->lineEdit(), &QLineEdit::editingFinished, this, confirmar);
  connect(lista, &QComboBox::activated, this, confirmar);
  confirmar_.push_back(confirmar);
  renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
  return lista;
}

QCheckBox* TJanelaConfiguraSerial::Caixa(TCheckBox& modelo, void (TfrConfiguraSerial::*handler)(), const char* nome) {
  auto* caixa = new QCheckBox(ParaQt(modelo.Caption));
  caixa->setObjectName(nome);
  auto vinculo = std::make_shared<TVinculo<bool>>([&modelo] { return modelo.Checked; },
                                                  [caixa](const bool& marcado) { caixa->setChecked(marcado); });
  connect(caixa, &QCheckBox::clicked, this, [this, &modelo, handler, vinculo](bool marcado) {
    modelo.Checked = marcado;
    vinculo->Editado(marcado);
    Handler(handler);
  });
  renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
  return caixa;
}

void TJanelaConfiguraSerial::Handler(void (TfrConfiguraSerial::*handler)()) {
  dialogo_.ExecutarTratando([&dialogo = dialogo_, handler] { (dialogo.*handler)(); });
  Renderizar();
}

void TJanelaConfiguraSerial::ConfirmarTextos() {
  for (const auto& confirmar : confirmar_) confirmar();
}

void TJanelaConfiguraSerial::Renderizar() {
  for (const auto& renderizar : renderizar_) renderizar();
}

TModalResult TJanelaConfiguraSerial::Executar() {
  Renderizar();
  exec();
  return dialogo_.ModalResult == TModalResult::mrOk ? TModalResult::mrOk : TModalResult::mrCancel;
}

TModalResult TDialogosQt::MostrarModal(TfrConfiguraSerial& Dialogo) {
  TJanelaConfiguraSerial janela(Dialogo, pai_);
  return janela.Executar();
}

}  // namespace bilhetor

#include "gui/JanelaBilhetor.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>

#include "app/TabelaConfiguracao.h"
#include "gui/TextoQt.h"

namespace bilhetor {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

QGroupBox* Grupo(const char* titulo, QLayout* conteudo) {
  auto* grupo = new QGroupBox(U(titulo));
  grupo->setLayout(conteudo);
  return grupo;
}

// A list shown with its items and selection.
using TItens = std::pair<std::vector<std::string>, int>;

void MostrarItens(QComboBox* lista, const std::vector<std::string>& itens) {
  QStringList textos;
  for (const std::string& item : itens) textos << ParaQt(item);
  bool iguais = lista->count() == textos.size();
  for (int i = 0; iguais && i < lista->count(); ++i) iguais = lista->itemText(i) == textos[i];
  if (iguais) return;
  lista->clear();
  lista->addItems(textos);
}

}  // namespace

QIcon IconeBilhetor() { return QIcon(QStringLiteral(":/bilhetor/bilhetor.png")); }

TJanelaBilhetor::TJanelaBilhetor(TfrmBilhetor& form, QWidget* parent) : QWidget(parent), form_(form) {
  setObjectName("TfrmBilhetor");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowIcon(IconeBilhetor());

  auto* abaixo = new QHBoxLayout;
  for (const auto& [secao, titulo] : {std::pair{"Barras", "Código de barras"}, std::pair{"QRCode", "QR Code"},
                                      std::pair{"Logo", "Logo"}, std::pair{"Gaveta", "Gaveta"}})
    abaixo->addWidget(CriarSecao(secao, titulo));
  auto* principal = new QVBoxLayout(this);
  principal->addWidget(CriarSituacao());
  principal->addWidget(CriarImpressora());
  principal->addLayout(abaixo);
  // Fixed size: the size of its contents.
  principal->setSizeConstraint(QLayout::SetFixedSize);

  // The tray icon and its menu.
  menu_ = std::make_unique<QMenu>();
  QAction* restaurar = menu_->addAction(ParaQt(kMenuRestaurar));
  restaurar->setObjectName("Restaurar1");
  menu_->addSeparator();
  QAction* encerrar = menu_->addAction(ParaQt(kMenuEncerrar));
  encerrar->setObjectName("EncerrarPrograma1");
  connect(restaurar, &QAction::triggered, this, [this] {
    Executar([this] { form_.Restaurar1Click(); });
    TrazerParaFrente();
  });
  connect(encerrar, &QAction::triggered, this, [this] { Executar([this] { form_.EncerrarPrograma1Click(); }); });
  tray_ = new QSystemTrayIcon(IconeBilhetor(), this);
  tray_->setObjectName("TrayIcon1");
  tray_->setContextMenu(menu_.get());
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason motivo) {
    if (motivo == QSystemTrayIcon::DoubleClick) {
      Executar([this] { form_.TrayIcon1DblClick(); });
      TrazerParaFrente();
    } else if (motivo == QSystemTrayIcon::Trigger) {
      Executar([this] { form_.TrayIcon1Click(); });
    }
  });

  connect(&timer1_, &QTimer::timeout, this, [this] { Timer1Tick(); });
  connect(&timer2_, &QTimer::timeout, this, [this] { Timer2Tick(); });
  Renderizar();
}

TJanelaBilhetor::~TJanelaBilhetor() = default;

// --- the controls ------------------------------------------------------------------------

QWidget* TJanelaBilhetor::CriarSituacao() {
  auto* grade = new QGridLayout;
  const std::pair<const char*, QLabel**> relogios[] = {{"Hora Atual:", &label4_},
                                                        {"Hora de Início:", &label6_},
                                                        {"Tempo de Execução:", &label7_},
                                                        {"Última Execução:", &label10_}};
  const char* nomes[] = {"Label4", "Label6", "Label7", "Label10"};
  int linha = 0;
  for (const auto& [titulo, label] : relogios) {
    *label = new QLabel;
    (*label)->setObjectName(nomes[linha]);
    QFont fonte = (*label)->font();
    fonte.setBold(true);
    (*label)->setFont(fonte);
    grade->addWidget(new QLabel(U(titulo)), linha, 0);
    grade->addWidget(*label, linha, 1);
    ++linha;
  }
  grade->setColumnStretch(2, 1);
  QPushButton* button1 = Botao(form_.Button1, &TfrmBilhetor::Button1Click, "Button1");
  button1->setMinimumSize(120, 48);
  grade->addWidget(button1, 0, 3, 4, 1, Qt::AlignVCenter);
  return Grupo("Servidor", grade);
}

QWidget* TJanelaBilhetor::CriarImpressora() {
  auto* grade = new QGridLayout;
  // The settings of the printer from the table: the lists on the first row,
  // the numbers and the switches on rows of their own; the port and the log
  // file have rows of their own with their buttons.
  auto* numeros = new QHBoxLayout;
  auto* chaves = new QHBoxLayout;
  int coluna = 0;
  for (const TConfiguracao& l : Configuracoes()) {
    if (std::string_view(l.Secao) != "PosPrinter") continue;
    if (l.Lista && l.Tipo == TTipoConfiguracao::Escolha) {
      grade->addWidget(new QLabel(ParaQt(l.Rotulo)), 0, coluna++);
      grade->addWidget(Lista(form_.*l.Lista, l.AoMudar, l.Nome), 0, coluna++);
    } else if (l.Spin) {
      numeros->addWidget(new QLabel(ParaQt(l.Rotulo)));
      numeros->addWidget(Spin(form_.*l.Spin, l.Nome));
      numeros->addSpacing(8);
    } else if (l.Caixa) {
      chaves->addWidget(Caixa(form_.*l.Caixa, l.AoMudar, l.Nome));
    }
  }

  // The port: the serial ports found and the print queues, or any name typed.
  cbxPorta_ = new QComboBox;
  cbxPorta_->setObjectName("cbxPorta");
  cbxPorta_->setEditable(true);
  cbxPorta_->setInsertPolicy(QComboBox::NoInsert);
  cbxPorta_->setMinimumWidth(260);
  auto itensPorta = std::make_shared<TVinculo<std::vector<std::string>>>(
      [this] { return form_.cbxPorta.Items; },
      [this](const std::vector<std::string>& itens) {
        MostrarItens(cbxPorta_, itens);
        cbxPorta_->setEditText(ParaQt(form_.cbxPorta.Text));
      });
  renderizar_.push_back([itensPorta] { itensPorta->Renderizar(); });
  porta_ = std::make_unique<TVinculo<std::string>>([this] { return form_.cbxPorta.Text; },
                                                   [this](const std::string& t) { cbxPorta_->setEditText(ParaQt(t)); });
  connect(cbxPorta_->lineEdit(), &QLineEdit::editingFinished, this, [this] { ConfirmarPorta(); });
  connect(cbxPorta_, &QComboBox::activated, this, [this](int) { ConfirmarPorta(); });
  grade->addWidget(new QLabel(ParaQt(Configuracao("PosPrinter", "Porta").Rotulo)), 1, 0);
  auto* linhaPorta = new QHBoxLayout;
  linhaPorta->addWidget(cbxPorta_, 1);
  QPushButton* serial = Botao(form_.btSerial, &TfrmBilhetor::btSerialClick, "btSerial");
  // Shown for serial ports only; its place stays, so the window keeps its size.
  QSizePolicy politica = serial->sizePolicy();
  politica.setRetainSizeWhenHidden(true);
  serial->setSizePolicy(politica);
  linhaPorta->addWidget(serial);
  grade->addLayout(linhaPorta, 1, 1, 1, 3);

  numeros->addStretch(1);
  grade->addLayout(numeros, 2, 0, 1, 4);
  chaves->addStretch(1);
  grade->addLayout(chaves, 3, 0, 1, 4);

  edLog_ = new QLineEdit;
  edLog_->setObjectName("edLog");
  log_ = std::make_unique<TVinculo<std::string>>([this] { return form_.edLog; },
                                                 [this](const std::string& t) { edLog_->setText(ParaQt(t)); });
  connect(edLog_, &QLineEdit::textEdited, this, [this](const QString& t) {
    form_.edLog = DeQt(t);
    log_->Editado(form_.edLog);
  });
  grade->addWidget(new QLabel(ParaQt(Configuracao("PosPrinter", "ArqLog").Rotulo)), 4, 0);
  auto* linhaLog = new QHBoxLayout;
  linhaLog->addWidget(edLog_, 1);
  QPushButton* ativar = Botao(form_.bAtivar, &TfrmBilhetor::bAtivarClick, "bAtivar");
  ativar->setMinimumWidth(110);
  linhaLog->addWidget(ativar);
  grade->addLayout(linhaLog, 4, 1, 1, 3);
  grade->setColumnStretch(1, 1);
  return Grupo("Impressora", grade);
}

QWidget* TJanelaBilhetor::CriarSecao(const char* secao, const char* titulo) {
  auto* f = new QFormLayout;
  for (const TConfiguracao& l : Configuracoes()) {
    if (std::string_view(l.Secao) != secao) continue;
    if (l.Spin) f->addRow(ParaQt(l.Rotulo), Spin(form_.*l.Spin, l.Nome));
    else if (l.Caixa) f->addRow(Caixa(form_.*l.Caixa, l.AoMudar, l.Nome));
  }
  return Grupo(titulo, f);
}

std::function<void()> TJanelaBilhetor::Acao(void (TfrmBilhetor::*handler)()) {
  // Built here rather than in the slot: g++ 12 with -fsanitize=undefined
  // miscompiles a lambda that captures `this` and a member function pointer
  // inside another lambda.
  return [&form = form_, handler] { (form.*handler)(); };
}

TSpinEditQt* TJanelaBilhetor::Spin(TSpinEdit& modelo, const char* nome) {
  auto* spin = new TSpinEditQt(modelo.MinValue, modelo.MaxValue);
  spin->setObjectName(nome);
  auto vinculo = std::make_shared<TVinculo<std::string>>(
      [&modelo] { return modelo.Text; }, [spin](const std::string& t) { spin->DefinirTexto(ParaQt(t)); });
  // A spin box has no handler: the value waits in the model for the
  // activation (or the print cycle, for the columns).
  spin->AoEditar = [&modelo, vinculo](const QString& texto) {
    modelo.Text = DeQt(texto);
    vinculo->Editado(modelo.Text);
  };
  renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
  return spin;
}

QCheckBox* TJanelaBilhetor::Caixa(TCheckBox& modelo, void (TfrmBilhetor::*handler)(), const char* nome) {
  auto* caixa = new QCheckBox(ParaQt(modelo.Caption));
  caixa->setObjectName(nome);
  auto vinculo = std::make_shared<TVinculo<bool>>([&modelo] { return modelo.Checked; },
                                                  [caixa](const bool& marcado) { caixa->setChecked(marcado); });
  connect(caixa, &QCheckBox::clicked, this, [this, &modelo, acao = Acao(handler), vinculo](bool marcado) {
    modelo.Checked = marcado;
    vinculo->Editado(marcado);
    Executar(acao);
  });
  renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
  return caixa;
}

QComboBox* TJanelaBilhetor::Lista(TComboBox& modelo, void (TfrmBilhetor::*handler)(), const char* nome) {
  auto* lista = new QComboBox;
  lista->setObjectName(nome);
  auto vinculo = std::make_shared<TVinculo<TItens>>([&modelo] { return TItens{modelo.Items, modelo.ItemIndex}; },
                                                    [lista](const TItens& itens) {
                                                      MostrarItens(lista, itens.first);
                                                      lista->setCurrentIndex(itens.second);
                                                    });
  connect(lista, &QComboBox::activated, this, [this, &modelo, acao = Acao(handler), vinculo](int indice) {
    modelo.ItemIndex = indice;
    vinculo->Editado({modelo.Items, indice});
    Executar(acao);
  });
  renderizar_.push_back([vinculo] { vinculo->Renderizar(); });
  return lista;
}

QPushButton* TJanelaBilhetor::Botao(TButton& modelo, void (TfrmBilhetor::*handler)(), const char* nome) {
  auto* botao = new QPushButton;
  botao->setObjectName(nome);
  botao->setAutoDefault(false);
  connect(botao, &QPushButton::clicked, this, [this, acao = Acao(handler)] { Executar(acao); });
  renderizar_.push_back([botao, &modelo] {
    botao->setText(ParaQt(modelo.Caption));
    botao->setEnabled(modelo.Enabled);
    botao->setVisible(modelo.Visible);
  });
  return botao;
}

void TJanelaBilhetor::ConfirmarPorta() {
  const std::string texto = DeQt(cbxPorta_->currentText());
  if (texto == form_.cbxPorta.Text) return;
  form_.cbxPorta.Text = texto;
  porta_->Editado(texto);
  Executar([this] { form_.cbxPortaChange(); });
}

// --- showing the model -----------------------------------------------------------------------

void TJanelaBilhetor::Executar(const std::function<void()>& handler) {
  form_.ExecutarTratando(handler);
  Renderizar();
}

void TJanelaBilhetor::Renderizar() {
  // Writing to the controls emits none of the signals the window listens to
  // (activated, clicked, textEdited, editingFinished): showing the model runs
  // no handler.
  setWindowTitle(ParaQt(form_.Caption));
  label4_->setText(ParaQt(form_.Label4));
  label6_->setText(ParaQt(form_.Label6));
  label7_->setText(ParaQt(form_.Label7));
  label10_->setText(ParaQt(form_.Label10));
  for (const auto& renderizar : renderizar_) renderizar();
  porta_->Renderizar();
  log_->Renderizar();
  tray_->setToolTip(ParaQt(form_.TrayIcon1.Hint));
  if (!bandejaDisponivel_) return;  // not started yet
  tray_->setVisible(form_.TrayIcon1.Visible && form_.BandejaDisponivel);
  SincronizarTimer(timer1_, form_.Timer1, partidas1_);
  SincronizarTimer(timer2_, form_.Timer2, partidas2_);
  AplicarEstadoJanela();
}

void TJanelaBilhetor::SincronizarTimer(QTimer& qt, const TTimer& modelo, uint64_t& partidas) {
  if (!modelo.Enabled()) {
    qt.stop();
    return;
  }
  // Enabled again since the last look: its interval starts anew.
  if (!qt.isActive() || modelo.Partidas() != partidas) qt.start(modelo.Interval);
  partidas = modelo.Partidas();
}

void TJanelaBilhetor::AplicarEstadoJanela() {
  renderizando_ = true;
  setEnabled(form_.Enabled);
  if (!form_.Visivel) {
    if (isVisible()) hide();
  } else if (form_.Minimizado) {
    if (!isVisible() || !isMinimized()) showMinimized();
  } else if (!isVisible() || isMinimized()) {
    showNormal();
  }
  renderizando_ = false;
}

void TJanelaBilhetor::TrazerParaFrente() {
  if (!isVisible() || isMinimized()) return;
  raise();
  activateWindow();
}

// --- start, ticks and window events ------------------------------------------------------------

void TJanelaBilhetor::Iniciar(std::function<bool()> bandejaDisponivel) {
  bandejaDisponivel_ = std::move(bandejaDisponivel);
  form_.BandejaDisponivel = bandejaDisponivel_();
  adjustSize();
  if (const QScreen* tela = screen()) move(tela->availableGeometry().center() - rect().center());
  // The program starts minimized.
  Executar([this] { form_.ApplicationEvents1Minimize(); });
}

void TJanelaBilhetor::Timer1Tick() {
  if (bandejaDisponivel_) form_.BandejaDisponivel = bandejaDisponivel_();
  Executar([this] { form_.Timer1Timer(); });
}

void TJanelaBilhetor::Timer2Tick() {
  Executar([this] { form_.Timer2Timer(); });
}

void TJanelaBilhetor::closeEvent(QCloseEvent* evento) {
  bool fechar = true;
  Executar([this, &fechar] { fechar = form_.FormClose(); });
  if (fechar)
    evento->accept();
  else
    evento->ignore();
}

void TJanelaBilhetor::changeEvent(QEvent* evento) {
  QWidget::changeEvent(evento);
  if (evento->type() != QEvent::WindowStateChange || renderizando_ || !bandejaDisponivel_) return;
  if (isMinimized() && !form_.Minimizado) {
    // The operator minimized the window: it goes to the tray once this
    // event is over.
    QTimer::singleShot(0, this, [this] { Executar([this] { form_.ApplicationEvents1Minimize(); }); });
  } else if (!isMinimized() && form_.Minimizado && isVisible()) {
    // Restored from the task bar (where there is no tray).
    form_.Minimizado = false;
  }
}

}  // namespace bilhetor

#include "app/ConfiguraSerial.h"

#include "common/Strings.h"
#include "db/MySqlProvider.h"

namespace bilhetor {

namespace {

// The selected item's position as an enumeration value; no selection leaves
// the device as it is.
template <typename E>
bool Posicao(const TComboBox& caixa, E& valor) {
  if (caixa.ItemIndex < 0 || caixa.ItemIndex >= static_cast<int>(caixa.Items.size())) return false;
  valor = static_cast<E>(caixa.ItemIndex);
  return true;
}

// The text read as an integer, as StrToInt reads it.
int LerInteiro(const std::string& texto) {
  int n = 0;
  if (!TryStrToInt(texto, n)) throw EConvertError(Format("'%s' is not a valid integer value", texto.c_str()));
  return n;
}

// Selects the item whose text is the number; none when the list lacks it.
// An editable box then shows the item's text, or nothing.
void SelecionarNumero(TComboBox& caixa, int numero) {
  caixa.ItemIndex = -1;
  caixa.Text.clear();
  for (std::size_t i = 0; i < caixa.Items.size(); ++i) {
    if (caixa.Items[i] == std::to_string(numero)) {
      caixa.ItemIndex = static_cast<int>(i);
      caixa.Text = caixa.Items[i];
      return;
    }
  }
}

}  // namespace

TfrConfiguraSerial::TfrConfiguraSerial(TMensagens& mensagens)
    : mensagens_(mensagens), device_(std::make_unique<TDevice>()) {
  for (int n = 1; n <= 9; ++n) cmbPortaSerial.Items.push_back("COM" + std::to_string(n));
  cmbPortaSerial.ItemIndex = 0;
  cmbPortaSerial.Text = "COM1";
  cmbBaudRate.Items = {"110",  "300",   "600",   "1200",  "2400",  "4800",  "9600",
                       "14400", "19200", "38400", "56000", "57600", "115200"};
  cmbDataBits.Items = {"5", "6", "7", "8"};
  cmbDataBits.ItemIndex = 3;
  cmbParity.Items = {"None", "Odd", "Even", "Mark", "Space"};
  cmbParity.ItemIndex = 0;
  cmbStopBits.Items = {"1", "1,5", "2"};
  cmbStopBits.ItemIndex = 0;
  cmbHandShaking.Items = {"Nenhum", "XON/XOFF", "RTS/CTS", "DTR/DSR"};
  cmbHandShaking.ItemIndex = 0;
}

TfrConfiguraSerial::~TfrConfiguraSerial() = default;

void TfrConfiguraSerial::FormShow() {
  TDevice& d = Device();
  SelecionarNumero(cmbBaudRate, d.Baud());
  SelecionarNumero(cmbDataBits, d.Data());
  cmbParity.ItemIndex = static_cast<int>(d.Parity());
  cmbStopBits.ItemIndex = static_cast<int>(d.Stop());
  // A switch that changes runs its handler, which gives the device the
  // handshake it already has.
  DefinirMarcado(chHardFlow, d.HardFlow(), &TfrConfiguraSerial::chHardFlowClick);
  DefinirMarcado(chSoftFlow, d.SoftFlow(), &TfrConfiguraSerial::chSoftFlowClick);
  cmbHandShaking.ItemIndex = static_cast<int>(d.HandShake());
}

void TfrConfiguraSerial::cmbPortaSerialChange() { Device().SetPorta(cmbPortaSerial.Text); }

void TfrConfiguraSerial::cmbBaudRateChange() { Device().SetBaud(LerInteiro(cmbBaudRate.Text)); }

void TfrConfiguraSerial::cmbDataBitsChange() { Device().SetData(LerInteiro(cmbDataBits.ItemSelecionado())); }

void TfrConfiguraSerial::cmbParityChange() {
  TSerialParity p;
  if (Posicao(cmbParity, p)) Device().SetParity(p);
}

void TfrConfiguraSerial::cmbStopBitsChange() {
  TSerialStop s;
  if (Posicao(cmbStopBits, s)) Device().SetStop(s);
}

void TfrConfiguraSerial::cmbHandShakingChange() {
  THandShake h;
  if (Posicao(cmbHandShaking, h)) Device().SetHandShake(h);
  Atualizar();
}

void TfrConfiguraSerial::chHardFlowClick() {
  Device().SetHardFlow(chHardFlow.Checked);
  Atualizar();
}

void TfrConfiguraSerial::chSoftFlowClick() {
  Device().SetSoftFlow(chSoftFlow.Checked);
  Atualizar();
}

void TfrConfiguraSerial::DefinirMarcado(TCheckBox& caixa, bool marcado, void (TfrConfiguraSerial::*handler)()) {
  if (caixa.Checked == marcado) return;
  caixa.Checked = marcado;
  (this->*handler)();
}

void TfrConfiguraSerial::Atualizar() {
  cmbHandShaking.ItemIndex = static_cast<int>(Device().HandShake());
  DefinirMarcado(chHardFlow, Device().HardFlow(), &TfrConfiguraSerial::chHardFlowClick);
  DefinirMarcado(chSoftFlow, Device().SoftFlow(), &TfrConfiguraSerial::chSoftFlowClick);
}

bool TfrConfiguraSerial::ExecutarTratando(const std::function<void()>& handler) {
  return bilhetor::ExecutarTratando(mensagens_, handler);
}

}  // namespace bilhetor

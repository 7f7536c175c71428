// The serial settings dialog's model: its lists, FormShow from the device,
// the change handlers, and the refresh that ties the handshake to the two
// flow switches.
#include <gtest/gtest.h>

#include "ServidorTeste.h"
#include "app/ConfiguraSerial.h"

namespace bilhetor {
namespace {

using testing::MensagensTeste;

TEST(ConfiguraSerial, FormCreateFillsTheListsWithTheirFirstChoices) {
  MensagensTeste mensagens;
  TfrConfiguraSerial d(mensagens);
  EXPECT_EQ(d.Caption, "Porta Serial");
  struct Caso {
    const char* nome;
    const TComboBox& caixa;
    std::vector<std::string> itens;
    std::string escolhido;
  };
  const std::vector<Caso> casos = {
      {"port", d.cmbPortaSerial, {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"}, "COM1"},
      {"speed",
       d.cmbBaudRate,
       {"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000", "57600", "115200"},
       ""},
      {"data bits", d.cmbDataBits, {"5", "6", "7", "8"}, "8"},
      {"parity", d.cmbParity, {"None", "Odd", "Even", "Mark", "Space"}, "None"},
      {"stop bits", d.cmbStopBits, {"1", "1,5", "2"}, "1"},
      {"handshake", d.cmbHandShaking, {"Nenhum", "XON/XOFF", "RTS/CTS", "DTR/DSR"}, "Nenhum"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    EXPECT_EQ(c.caixa.Items, c.itens);
    EXPECT_EQ(c.caixa.ItemSelecionado(), c.escolhido);
  }
  EXPECT_EQ(d.cmbPortaSerial.Text, "COM1");
  EXPECT_FALSE(d.chHardFlow.Checked);
  EXPECT_FALSE(d.chSoftFlow.Checked);
  EXPECT_EQ(d.ModalResult, TModalResult::mrNone);
}

TEST(ConfiguraSerial, FormShowSelectsTheDevicesSettings) {
  struct Caso {
    std::string params;
    int baud;  // item index of the speed, -1 for none
    std::string textoBaud;
    std::string data, parity, stop, handshake;
    bool hard, soft;
  };
  const std::vector<Caso> casos = {
      {"", 6, "9600", "8", "None", "1", "Nenhum", false, false},
      {"BAUD=115200 DATA=7 PARITY=O STOP=2 HANDSHAKE=RTS/CTS", 12, "115200", "7", "Odd", "2", "RTS/CTS", true, false},
      // A speed the list lacks: nothing selected, nothing shown.
      {"BAUD=250000 PARITY=S SOFTFLOW", -1, "", "8", "Space", "1", "XON/XOFF", false, true},
      {"BAUD=110 DATA=5 PARITY=M STOP=1,5 HANDSHAKE=DTR/DSR", 0, "110", "5", "Mark", "1,5", "DTR/DSR", false, false},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.params);
    MensagensTeste mensagens;
    TfrConfiguraSerial d(mensagens);
    d.Device().SetParamsString(c.params);
    d.FormShow();
    EXPECT_EQ(d.cmbBaudRate.ItemIndex, c.baud);
    EXPECT_EQ(d.cmbBaudRate.Text, c.textoBaud);
    EXPECT_EQ(d.cmbDataBits.ItemSelecionado(), c.data);
    EXPECT_EQ(d.cmbParity.ItemSelecionado(), c.parity);
    EXPECT_EQ(d.cmbStopBits.ItemSelecionado(), c.stop);
    EXPECT_EQ(d.cmbHandShaking.ItemSelecionado(), c.handshake);
    EXPECT_EQ(d.chHardFlow.Checked, c.hard);
    EXPECT_EQ(d.chSoftFlow.Checked, c.soft);
    // Showing changes nothing in the device.
    TDevice referencia;
    referencia.SetParamsString(c.params);
    EXPECT_EQ(d.Device().ParamsString(), referencia.ParamsString());
  }
}

// The handshake box and the two switches after one of the three changes,
// and the device's parameter string.
TEST(ConfiguraSerial, TheRefreshTiesTheHandshakeToTheTwoSwitches) {
  enum Acao { Handshake, Hard, Soft };
  struct Caso {
    const char* nome;
    std::string antes;
    Acao acao;
    int valor;  // handshake position, or the switch's new state
    std::string handshake;
    bool hard, soft;
    std::string params;
  };
  const std::vector<Caso> casos = {
      {"XON/XOFF sets SoftFlow", "", Handshake, 1, "XON/XOFF", false, true, "HANDSHAKE=XON/XOFF SOFTFLOW"},
      {"RTS/CTS sets HardFlow", "", Handshake, 2, "RTS/CTS", true, false, "HANDSHAKE=RTS/CTS HARDFLOW"},
      {"RTS/CTS over XON/XOFF clears SoftFlow", "SOFTFLOW", Handshake, 2, "RTS/CTS", true, false,
       "HANDSHAKE=RTS/CTS HARDFLOW"},
      {"DTR/DSR clears both", "HARDFLOW", Handshake, 3, "DTR/DSR", false, false, "HANDSHAKE=DTR/DSR"},
      {"Nenhum clears both", "SOFTFLOW", Handshake, 0, "Nenhum", false, false, ""},
      {"HardFlow gives RTS/CTS", "", Hard, 1, "RTS/CTS", true, false, "HANDSHAKE=RTS/CTS HARDFLOW"},
      {"HardFlow over XON/XOFF takes SoftFlow off", "SOFTFLOW", Hard, 1, "RTS/CTS", true, false,
       "HANDSHAKE=RTS/CTS HARDFLOW"},
      {"HardFlow off gives no handshake", "HARDFLOW", Hard, 0, "Nenhum", false, false, ""},
      {"SoftFlow over DTR/DSR gives XON/XOFF", "HANDSHAKE=DTR/DSR", Soft, 1, "XON/XOFF", false, true,
       "HANDSHAKE=XON/XOFF SOFTFLOW"},
      {"SoftFlow off over RTS/CTS cannot stay off", "HARDFLOW", Soft, 0, "RTS/CTS", true, false,
       "HANDSHAKE=RTS/CTS HARDFLOW"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.nome);
    MensagensTeste mensagens;
    TfrConfiguraSerial d(mensagens);
    d.Device().SetParamsString(c.antes);
    d.FormShow();
    switch (c.acao) {
      case Handshake:
        d.cmbHandShaking.ItemIndex = c.valor;
        d.cmbHandShakingChange();
        break;
      case Hard:
        d.chHardFlow.Checked = c.valor != 0;
        d.chHardFlowClick();
        break;
      case Soft:
        d.chSoftFlow.Checked = c.valor != 0;
        d.chSoftFlowClick();
        break;
    }
    EXPECT_EQ(d.cmbHandShaking.ItemSelecionado(), c.handshake);
    EXPECT_EQ(d.chHardFlow.Checked, c.hard);
    EXPECT_EQ(d.chSoftFlow.Checked, c.soft);
    EXPECT_EQ(d.Device().ParamsString(), c.params);
  }
}

TEST(ConfiguraSerial, EachControlReachesTheDevice) {
  MensagensTeste mensagens;
  TfrConfiguraSerial d(mensagens);
  d.FormShow();
  d.cmbPortaSerial.Text = "com12";
  d.cmbPortaSerialChange();
  d.cmbBaudRate.Text = "230400";  // typed: not in the list
  d.cmbBaudRateChange();
  d.cmbDataBits.ItemIndex = 2;
  d.cmbDataBitsChange();
  d.cmbParity.ItemIndex = 2;
  d.cmbParityChange();
  d.cmbStopBits.ItemIndex = 1;
  d.cmbStopBitsChange();
  EXPECT_EQ(d.Device().Porta(), "COM12");
  EXPECT_TRUE(d.Device().IsSerial());
  EXPECT_EQ(d.Device().ParamsString(), "BAUD=230400 DATA=7 PARITY=E STOP=1,5");
  EXPECT_TRUE(mensagens.erros.empty());
}

TEST(ConfiguraSerial, ValuesTheDeviceRefusesAreShownAndTheDeviceKeepsItsOwn) {
  struct Caso {
    std::string baud;
    std::string erro;
  };
  const std::vector<Caso> casos = {
      {"abc", "'abc' is not a valid integer value"},
      {"", "'' is not a valid integer value"},
      {"49", "Valor deve estar na faixa de 50 a 4000000.\nNormalmente os equipamentos Seriais utilizam: 9600"},
      {"4000001", "Valor deve estar na faixa de 50 a 4000000.\nNormalmente os equipamentos Seriais utilizam: 9600"},
  };
  for (const Caso& c : casos) {
    SCOPED_TRACE(c.baud);
    MensagensTeste mensagens;
    TfrConfiguraSerial d(mensagens);
    d.Device().SetParamsString("BAUD=19200");
    d.FormShow();
    d.cmbBaudRate.Text = c.baud;
    EXPECT_FALSE(d.ExecutarTratando([&] { d.cmbBaudRateChange(); }));
    EXPECT_EQ(mensagens.erros, std::vector<std::string>{c.erro});
    EXPECT_EQ(d.Device().Baud(), 19200);
  }
}

}  // namespace
}  // namespace bilhetor

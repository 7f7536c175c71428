// The device's serial ports on Windows: a pair's own COM name, the DCB the
// device's settings become, and the search through the system's COM names.
#include <windows.h>

#include "DeviceSerialTest.h"

namespace bilhetor {

std::string PortaDoPty(const testing::SocatPty& pty, const testing::TempDir&, int) { return pty.PortLink(); }

void UsarPastaDoTeste(TDevice&, const testing::TempDir&) {}

namespace {

DCB Settings(TDevice& dev) {
  DCB d {};
  d.DCBlength = sizeof d;
  EXPECT_TRUE(GetCommState(reinterpret_cast<HANDLE>(dev.Serial().Handle()), &d));
  return d;
}

// Pseudo-terminals under Wine keep speed, stop bits and flow control; they
// drop data bits and parity, and Wine then refuses later settings, so the
// line stays at 8 data bits without parity.
TEST_F(DeviceSerialTest, ActivationAppliesTheSettingsAndLaterChangesAtOnce) {
  dev->SetPorta(porta);
  dev->SetParamsString("BAUD=19200 STOP=2");
  dev->Ativar();
  DCB d = Settings(*dev);
  EXPECT_EQ(d.BaudRate, 19200u);
  EXPECT_EQ(d.StopBits, TWOSTOPBITS);
  dev->SetBaud(115200);
  EXPECT_EQ(Settings(*dev).BaudRate, 115200u);
  dev->SetStop(TSerialStop::s1);
  EXPECT_EQ(Settings(*dev).StopBits, ONESTOPBIT);
  dev->SetSoftFlow(true);
  d = Settings(*dev);
  EXPECT_TRUE(d.fOutX && d.fInX);
  EXPECT_FALSE(d.fOutxCtsFlow);
  dev->SetHardFlow(true);
  d = Settings(*dev);
  EXPECT_TRUE(d.fOutxCtsFlow);
  EXPECT_FALSE(d.fOutX || d.fInX);
  EXPECT_TRUE(dev->Serial().RTS());
  dev->SetHandShake(THandShake::hsDTR_DSR);
  d = Settings(*dev);
  EXPECT_FALSE(d.fOutxCtsFlow || d.fOutX || d.fInX);
  EXPECT_TRUE(dev->Serial().DTR());
}

// The search lists the COM names the system knows, in increasing order and
// up to the limit, and opens none of them: the port this test holds stays
// its own.
TEST_F(DeviceSerialTest, TheSearchListsComNamesInOrderUpToTheLimit) {
  dev->SetPorta(porta);
  dev->Ativar();
  std::vector<std::string> lista{"velho"};
  dev->AcharPortasSeriais(lista, 256);
  int anterior = 0;
  for (const auto& nome : lista) {
    const int n = TSerialPort::ComPortNumber(nome);
    EXPECT_GT(n, anterior) << nome;
    EXPECT_EQ(nome, "COM" + std::to_string(n));
    anterior = n;
  }
  if (!lista.empty()) {
    std::vector<std::string> ate;
    dev->AcharPortasSeriais(ate, TSerialPort::ComPortNumber(lista.front()));
    EXPECT_EQ(ate, std::vector<std::string>{lista.front()});
  }
  dev->AcharPortasSeriais(lista, 0);
  EXPECT_TRUE(lista.empty());
  dev->EnviaString("livre");
  EXPECT_EQ(pty->PeerRead(5), "livre");
}

}  // namespace
}  // namespace bilhetor

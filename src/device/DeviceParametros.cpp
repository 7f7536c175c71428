// The serial settings of a device (baud, data bits, parity, stop bits,
// handshake, bandwidth and the pacing of sends), the names of their values,
// and the parameter string that carries them all as one text
// ("BAUD=19200 PARITY=E HANDSHAKE=RTS/CTS").
#include <string>

#include "common/Strings.h"
#include "device/Device.h"
#include "transport/TcpSocket.h"

namespace bilhetor {

namespace {

const char* const kMsgFaixaBaud =
    "Valor deve estar na faixa de 50 a 4000000.\nNormalmente os equipamentos Seriais utilizam: 9600";
const char* const kMsgFaixaData = "Valor deve estar na faixa de 5 a 8.\nNormalmente os equipamentos Seriais utilizam: 7 ou 8";

}  // namespace

std::string NomeSerialParity(TSerialParity v) {
  switch (v) {
    case TSerialParity::pNone: return "pNone";
    case TSerialParity::pOdd: return "pOdd";
    case TSerialParity::pEven: return "pEven";
    case TSerialParity::pMark: return "pMark";
    case TSerialParity::pSpace: return "pSpace";
  }
  return "pNone";
}

std::string NomeSerialStop(TSerialStop v) {
  switch (v) {
    case TSerialStop::s1: return "s1";
    case TSerialStop::s1eMeio: return "s1eMeio";
    case TSerialStop::s2: return "s2";
  }
  return "s1";
}

std::string NomeHandShake(THandShake v) {
  switch (v) {
    case THandShake::hsNenhum: return "hsNenhum";
    case THandShake::hsXON_XOFF: return "hsXON_XOFF";
    case THandShake::hsRTS_CTS: return "hsRTS_CTS";
    case THandShake::hsDTR_DSR: return "hsDTR_DSR";
  }
  return "hsNenhum";
}

// --- serial settings -----------------------------------------------------------

void TDevice::SetDefaultValues() {
  EscreveLog("SetDefaultValues");
  hardFlow_ = false;
  softFlow_ = false;
  handShake_ = THandShake::hsNenhum;
  parity_ = 'N';
  data_ = 8;
  baud_ = 9600;
  stop_ = 0;
}

void TDevice::SetBaud(int n) {
  if (n == baud_) return;
  EscreveLog("SetBaud(" + std::to_string(n) + ")");
  if (n < 50 || n > 4000000) DisparaErro(Exception(kMsgFaixaBaud));
  baud_ = n;
  ConfiguraSerial();
}

void TDevice::SetData(int n) {
  if (n == data_) return;
  EscreveLog("SetData(" + std::to_string(n) + ")");
  if (n < 5 || n > 8) DisparaErro(Exception(kMsgFaixaData));
  data_ = n;
  ConfiguraSerial();
}

TSerialParity TDevice::Parity() const {
  switch (parity_) {
    case 'E': return TSerialParity::pEven;
    case 'M': return TSerialParity::pMark;
    case 'O': return TSerialParity::pOdd;
    case 'S': return TSerialParity::pSpace;
    default: return TSerialParity::pNone;
  }
}

void TDevice::SetParity(TSerialParity p) {
  if (p == Parity()) return;
  if (!arqLOG_.empty()) EscreveLog("SetParity(" + NomeSerialParity(p) + ")");
  switch (p) {
    case TSerialParity::pOdd: parity_ = 'O'; break;
    case TSerialParity::pEven: parity_ = 'E'; break;
    case TSerialParity::pMark: parity_ = 'M'; break;
    case TSerialParity::pSpace: parity_ = 'S'; break;
    default: parity_ = 'N'; break;
  }
  ConfiguraSerial();
}

TSerialStop TDevice::Stop() const {
  if (stop_ == 1) return TSerialStop::s1eMeio;
  if (stop_ == 2) return TSerialStop::s2;
  return TSerialStop::s1;
}

void TDevice::SetStop(TSerialStop s) {
  if (s == Stop()) return;
  if (!arqLOG_.empty()) EscreveLog("SetStop(" + NomeSerialStop(s) + ")");
  stop_ = s == TSerialStop::s1eMeio ? 1 : (s == TSerialStop::s2 ? 2 : 0);
  ConfiguraSerial();
}

void TDevice::SetHandShake(THandShake h) {
  if (!arqLOG_.empty()) EscreveLog("SetHandShake(" + NomeHandShake(h) + ")");
  hardFlow_ = h == THandShake::hsRTS_CTS;
  softFlow_ = h == THandShake::hsXON_XOFF;
  handShake_ = h;
  ConfiguraSerial();
}

void TDevice::SetHardFlow(bool b) {
  EscreveLog(std::string("SetHardFlow(") + (b ? "True" : "False") + ")");
  if (b)
    SetHandShake(THandShake::hsRTS_CTS);
  else if (handShake_ == THandShake::hsRTS_CTS)
    SetHandShake(THandShake::hsNenhum);
}

void TDevice::SetSoftFlow(bool b) {
  EscreveLog(std::string("SetSoftFlow(") + (b ? "True" : "False") + ")");
  if (b)
    SetHandShake(THandShake::hsXON_XOFF);
  else if (handShake_ == THandShake::hsXON_XOFF)
    SetHandShake(THandShake::hsNenhum);
}

int TDevice::MaxBandwidth() const {
  return IsTCP() ? socket_->MaxSendBandwidth() : serial_->MaxSendBandwidth();
}

void TDevice::SetMaxBandwidth(int n) {
  EscreveLog("SetMaxBandwidth(" + std::to_string(n) + ")");
  if (IsTCP())
    socket_->SetMaxBandwidth(n);
  else
    serial_->SetMaxBandwidth(n);
}

// --- parameter string ------------------------------------------------------------

std::string TDevice::DeviceToString(bool ApenasAlterados) {
  std::string r;
  const bool todos = !ApenasAlterados;
  if (todos || baud_ != 9600) r += " BAUD=" + std::to_string(baud_);
  if (todos || data_ != 8) r += " DATA=" + std::to_string(data_);
  if (todos || parity_ != 'N') r += std::string(" PARITY=") + parity_;
  if (todos || stop_ != 0) r += std::string(" STOP=") + (stop_ == 1 ? "1,5" : (stop_ == 2 ? "2" : "1"));
  if (todos || handShake_ != THandShake::hsNenhum) {
    r += " HANDSHAKE=";
    if (handShake_ == THandShake::hsXON_XOFF)
      r += "XON/XOFF";
    else if (handShake_ == THandShake::hsRTS_CTS)
      r += "RTS/CTS";
    else if (handShake_ == THandShake::hsDTR_DSR)
      r += "DTR/DSR";
  }
  if (hardFlow_) r += " HARDFLOW";
  if (softFlow_) r += " SOFTFLOW";
  const int banda = MaxBandwidth();
  if (todos || banda > 0) r += " MAXBANDWIDTH=" + std::to_string(banda);
  if (todos || sendBytesCount_ > 0) r += " SENDBYTESCOUNT=" + std::to_string(sendBytesCount_);
  if (todos || sendBytesInterval_ > 0) r += " SENDBYTESINTERVAL=" + std::to_string(sendBytesInterval_);
  r = Trim(r);
  EscreveLog("DeviceToString: " + r);
  return r;
}

std::string TDevice::LerValorParam(const std::string& S, const std::string& Key) {
  if (Key.empty()) return "";
  const auto pos = S.find(Key);
  if (pos == std::string::npos) return "";
  std::string r = Trim(S.substr(pos + Key.size(), 200));
  if (!r.empty() && r[0] == '=') r = Trim(r.substr(1, 200));
  const auto branco = r.find(' ');
  if (branco != std::string::npos) r.resize(branco);
  return Trim(r);
}

void TDevice::SetParamsString(const std::string& Value) {
  EscreveLog("SetParamsString(" + Value + ")");
  SetDefaultValues();
  const std::string S = Trim(UpperCase(Value));

  SetBaud(StrToIntDef(LerValorParam(S, "BAUD"), baud_));

  const std::string paridade = LerValorParam(S, "PARITY");
  if (!paridade.empty()) {
    const char c = paridade[0];
    if (c == 'N' || c == 'O' || c == 'E' || c == 'M' || c == 'S') parity_ = c;
  }

  SetData(StrToIntDef(LerValorParam(S, "DATA"), data_));

  const std::string parada = LerValorParam(S, "STOP");
  if (parada == "1")
    SetStop(TSerialStop::s1);
  else if (parada == "1,5")
    SetStop(TSerialStop::s1eMeio);
  else if (parada == "2")
    SetStop(TSerialStop::s2);

  SetHardFlow(S.find("HARDFLOW") != std::string::npos);
  SetSoftFlow(S.find("SOFTFLOW") != std::string::npos);

  const std::string controle = LerValorParam(S, "HANDSHAKE");
  if (controle == "XON/XOFF")
    SetHandShake(THandShake::hsXON_XOFF);
  else if (controle == "DTR/DSR")
    SetHandShake(THandShake::hsDTR_DSR);
  else if (controle == "RTS/CTS")
    SetHandShake(THandShake::hsRTS_CTS);

  SetMaxBandwidth(StrToIntDef(LerValorParam(S, "MAXBANDWIDTH"), MaxBandwidth()));
  sendBytesCount_ = StrToIntDef(LerValorParam(S, "SENDBYTESCOUNT"), sendBytesCount_);
  sendBytesInterval_ = StrToIntDef(LerValorParam(S, "SENDBYTESINTERVAL"), sendBytesInterval_);
}

}  // namespace bilhetor

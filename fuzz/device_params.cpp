// Fuzzes the parameter string, the reading of one key and the port name
// classification. The first byte picks the part; the rest is the input.
// Besides not crashing or hanging, each part checks a property that must
// hold for every input.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "device/Device.h"

namespace {

using namespace bilhetor;

// A spooler with two printers, so that rule 10 of the classification is
// exercised without a print server.
class FixedSpooler : public TPrinterSpooler {
 public:
  TListaImpressoras ListarImpressoras() override {
    TListaImpressoras l;
    l.Nomes = {"Epson_TM20", "\\\\SRV\\EPSON"};
    l.Padrao = 0;
    return l;
  }
  TResultadoRaw ImprimirRaw(const std::string&, const std::string&, const std::string&, std::string&) override {
    return TResultadoRaw::Impresso;
  }
};

class FixedClock : public TDeviceClock {
 public:
  TMomentoLog Agora() override { return {}; }
  int64_t MonotonicoMs() override { return 0; }
  void Dormir(int) override {}
};

std::unique_ptr<TDevice> NewDevice() {
  return std::make_unique<TDevice>(std::make_shared<FixedSpooler>(), std::make_shared<FixedClock>());
}

void Check(bool ok) {
  if (!ok) std::abort();
}

void FuzzParams(const std::string& text) {
  auto a = NewDevice();
  try {
    a->SetParamsString(text);
  } catch (const Exception&) {
    // Baud or data out of range: the settings read so far stay.
  }
  Check(a->Baud() >= 50 && a->Baud() <= 4000000);
  Check(a->Data() >= 5 && a->Data() <= 8);
  Check(a->HardFlow() == (a->HandShake() == THandShake::hsRTS_CTS));
  Check(a->SoftFlow() == (a->HandShake() == THandShake::hsXON_XOFF));
  // The full parameter string gives the same settings back.
  auto b = NewDevice();
  try {
    b->SetParamsString(a->DeviceToString(false));
  } catch (...) {
    std::abort();
  }
  Check(b->Baud() == a->Baud() && b->Data() == a->Data() && b->ParityLetter() == a->ParityLetter() &&
        b->StopValue() == a->StopValue() && b->HandShake() == a->HandShake() &&
        b->MaxBandwidth() == a->MaxBandwidth() && b->SendBytesCount() == a->SendBytesCount() &&
        b->SendBytesInterval() == a->SendBytesInterval());
}

void FuzzKey(const std::string& text) {
  const auto sep = text.find('\n');
  const std::string key = sep == std::string::npos ? "BAUD" : text.substr(0, sep);
  const std::string s = sep == std::string::npos ? text : text.substr(sep + 1);
  const std::string v = TDevice::LerValorParam(s, key);
  Check(v.size() <= 200);
  Check(v.find(' ') == std::string::npos);
  Check(v.empty() || (static_cast<unsigned char>(v.front()) > 0x20 && static_cast<unsigned char>(v.back()) > 0x20));
}

void FuzzPort(const std::string& text) {
  auto d = NewDevice();
  const TDeviceType t = d->DeduzirTipoPorta(text);
  d->SetPorta(text);
  Check(d->DeviceType() == d->DeduzirTipoPorta(d->Porta()));
  if (text.empty()) Check(t == TDeviceType::dtNenhum);
  if (t == TDeviceType::dtFile) d->GetPrinterFileName();
  if (t == TDeviceType::dtRawPrinter) {
    try {
      const int i = d->GetPrinterRawIndex();
      Check(i >= 0 && i < 2);
    } catch (const Exception&) {
      // "Impressora não encontrada [...]"
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 3) {
      case 0: FuzzParams(text); break;
      case 1: FuzzKey(text); break;
      default: FuzzPort(text); break;
    }
  } catch (const Exception&) {
    // Clear errors are fine (a raw printer that is not installed, ...).
  }
  return 0;
}

// Every printer model's command set on arbitrary tagged text: the first byte
// chooses the model, the second and third the logo key codes and the bar and
// QR settings, the rest is the text. The send event takes the data, so
// nothing is written anywhere; the engine must never crash, and every failure
// must be one of its named errors.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "posprinter/PosImage.h"
#include "posprinter/PosPrinter.h"

namespace {

using namespace bilhetor;

struct Motor {
  std::string pasta;
  TPosPrinter p;
  Motor() {
    pasta = (std::filesystem::temp_directory_path() / ("bilhetor_fuzz_models_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(pasta);
    p.SetPorta(pasta + "/saida.txt");
    p.OnEnviarStringDevice = [](const std::string&, bool& tratado) { tratado = true; };
  }
  ~Motor() {
    std::error_code ec;
    std::filesystem::remove_all(pasta, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Motor m;
  if (size < 3) return 0;
  TPosPrinter& p = m.p;
  // 11 models and one value outside the enumeration.
  p.SetModelo(static_cast<TPosPrinterModelo>(data[0] % 12));
  if (!p.Ativo()) p.Ativar();
  TConfigLogo& logo = p.ConfigLogo();
  logo.KeyCode1 = static_cast<uint8_t>(data[1] & 0x80 ? '0' + data[1] % 10 : data[1]);
  logo.KeyCode2 = static_cast<uint8_t>(data[1] & 0x40 ? 0 : data[2]);
  p.ConfigBarras().LarguraLinha = data[2] % 8 - 1;
  p.ConfigBarras().Altura = data[2] * 2 - 20;
  p.ConfigQRCode().SetLarguraModulo(data[2] % 18);
  p.ConfigQRCode().SetErrorLevel(data[1] % 5);
  const std::string texto(reinterpret_cast<const char*>(data + 3), size - 3);
  try {
    p.Imprimir(texto, false, true, true, 1);
  } catch (const EPosPrinterException&) {
  } catch (const EPosImage&) {
  } catch (const EInvalidGraphic&) {
  }
  return 0;
}

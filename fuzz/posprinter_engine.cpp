// The engine's print pipeline on arbitrary input: the first byte chooses the
// settings (code page, line feeds, columns, tag flags), the rest is the text.
// The send event takes the data, so nothing is written anywhere; the engine
// must never crash, and every failure must be one of its named errors.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "posprinter/PosImage.h"
#include "posprinter/PosPrinter.h"

namespace {

using namespace bilhetor;

// A command set with sequences of its own, so the state-changing tags and the
// Montar operations produce bytes.
class ComandosFuzz : public TPosPrinterClass {
 public:
  explicit ComandosFuzz(TPosPrinter& p) : TPosPrinterClass(p) {
    NomeModelo = "Fuzz";
    Preencher();
  }
  std::string MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) override {
    return "\x1Dk" + Tag + Codigo;
  }
  std::string MontarQRCode(const std::string& Codigo) override { return "\x1D(k" + Codigo; }
  std::string MontarGaveta(int Gaveta) override { return std::string("\x1Bp") + static_cast<char>(Gaveta & 0xFF); }
  std::string MontarImagemRaster(const std::string& Raster, int Largura, int Altura) override {
    return "\x1Dv0" + std::to_string(Largura) + "x" + std::to_string(Altura) + ":" + std::to_string(Raster.size());
  }

 private:
  void Preencher() {
    TPosComandos& c = Comandos;
    c.InicioNegrito = "\x1B" "E1";
    c.FimNegrito = "\x1B" "E0";
    c.AlinhaCentro = "\x1B" "a1";
    c.CortaTotal = "\x1Dv";
    c.Reinicializa = "\x1B@";
    c.PrefixoEspacamento = "\x1B" "3";
    c.EspacamentoPadrao = "\x1B" "2";
  }
};

struct Motor {
  std::string pasta;
  TPosPrinter p{[](TPosPrinterModelo m, TPosPrinter& e) -> std::unique_ptr<TPosPrinterClass> {
    if (m == TPosPrinterModelo::ppEscPosEpson) return std::make_unique<ComandosFuzz>(e);
    return std::make_unique<TPosPrinterClass>(e);
  }};
  Motor() {
    pasta = (std::filesystem::temp_directory_path() / ("bilhetor_fuzz_engine_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(pasta);
    p.SetPorta(pasta + "/saida.txt");
    p.OnEnviarStringDevice = [](const std::string&, bool& tratado) { tratado = true; };
    p.Ativar();
  }
  ~Motor() {
    std::error_code ec;
    std::filesystem::remove_all(pasta, ec);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Motor m;
  if (size == 0) return 0;
  const uint8_t cfg = data[0];
  const std::string texto(reinterpret_cast<const char*>(data + 1), size - 1);
  TPosPrinter& p = m.p;
  p.SetModelo(cfg & 1 ? TPosPrinterModelo::ppEscPosEpson : TPosPrinterModelo::ppTexto);
  if (!p.Ativo()) p.Ativar();
  p.SetPaginaDeCodigo(static_cast<TPosPaginaCodigo>((cfg >> 1) % 7));
  p.SetIgnorarTags((cfg & 0x10) != 0);
  p.SetColunasFonteNormal(cfg & 0x20 ? 0 : 48);
  p.SetLinhasEntreCupons((cfg >> 6) & 3);
  try {
    p.Buffer().Add(texto.substr(0, texto.size() / 2));
    p.Imprimir(texto.substr(texto.size() / 2), (cfg & 0x08) != 0, true, true, 1);
  } catch (const EPosPrinterException&) {
  } catch (const EPosImage&) {
  } catch (const EInvalidGraphic&) {
  }
  return 0;
}

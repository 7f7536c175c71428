#pragma once
// A command set for the engine's tests: every fixed sequence is a short,
// readable marker ("{N+}" for bold on), so a test can see which sequence each
// tag produced, and the parameterised operations record their arguments.
#include <string>
#include <vector>

#include "posprinter/PosPrinter.h"

namespace bilhetor::testing {

class TTestComandos : public TPosPrinterClass {
 public:
  explicit TTestComandos(TPosPrinter& p) : TPosPrinterClass(p) {
    NomeModelo = "Teste";
    TPosComandos& c = Comandos;
    c.Bip = "{BIP}";
    c.AlinhaCentro = "{AC}";
    c.AlinhaDireita = "{AD}";
    c.AlinhaEsquerda = "{AE}";
    c.CortaParcial = "{CP}";
    c.FimAlturaDupla = "{A-}";
    c.FimInvertido = "{IN-}";
    c.FimModoPagina = "{MP-}";
    c.EspacamentoPadrao = "{ESP}";
    c.DescarregaPagina = "{DP}";
    c.InicioAlturaDupla = "{A+}";
    c.InicioInvertido = "{IN+}";
    c.RestauraFonte = "{FN}";
    c.InicioCondensado = "{C+}";
    c.CortaTotal = "{CT}";
    c.PrefixoEspacamento = "{PE}";
    c.InicioExpandido = "{E+}";
    c.FimCondensado = "{C-}";
    c.FimExpandido = "{E-}";
    c.FimItalico = "{I-}";
    c.FimNegrito = "{N-}";
    c.FimSublinhado = "{S-}";
    c.SelecionaFonteA = "{FA}";
    c.SelecionaFonteB = "{FB}";
    c.InicioItalico = "{I+}";
    c.InicioModoPagina = "{MP+}";
    c.InicioNegrito = "{N+}";
    c.InicioSublinhado = "{S+}";
    c.Reinicializa = "{RST}";
  }

  std::string MontarPaginaCodigo(TPosPaginaCodigo Pagina) override {
    return "{PC" + std::to_string(static_cast<int>(Pagina)) + "}";
  }
  std::string MontarGaveta(int Gaveta) override { return "{G" + std::to_string(Gaveta) + "}"; }
  std::string MontarQRCode(const std::string& Codigo) override { return "{QR:" + Codigo + "}"; }
  std::string MontarCodigoBarras(const std::string& Tag, const std::string& Codigo) override {
    return "{BAR" + Tag + Codigo + "}";
  }
  std::string MontarModoPagina() override { return "{MPC}"; }
  std::string MontarLogo() override { return "{LOGO}"; }
  std::string MontarImagemRaster(const std::string& Raster, int Largura, int Altura) override {
    Rasters.push_back({Raster, Largura, Altura});
    return "{IMG" + std::to_string(Largura) + "x" + std::to_string(Altura) + "}";
  }
  void AposAtivar() override { ++Ativacoes; }

  struct Raster {
    std::string Bytes;
    int Largura;
    int Altura;
  };
  std::vector<Raster> Rasters;
  int Ativacoes = 0;
};

// The model table of the tests: ppEscPosEpson prints with TTestComandos, every
// other model with the plain-text command set.
inline std::unique_ptr<TPosPrinterClass> FabricaTeste(TPosPrinterModelo m, TPosPrinter& p) {
  if (m == TPosPrinterModelo::ppEscPosEpson) return std::make_unique<TTestComandos>(p);
  return std::make_unique<TPosPrinterClass>(p);
}

}  // namespace bilhetor::testing

#include "posprinter/EscEpsonP2.h"

#include "posprinter/PosBytes.h"

namespace bilhetor {

TEscEpsonP2::TEscEpsonP2(TPosPrinter& impressora) : TPosPrinterClass(impressora) {
  NomeModelo = "EscEpsonP2";
  TPosComandos& c = Comandos;
  c.EspacamentoPadrao = B({0x1B, 0x32});
  c.InicioCondensado = B({0x0F});
  c.PrefixoEspacamento = B({0x1B, 0x30});
  c.InicioExpandido = B({0x1B, 0x57, 0x31});
  c.FimCondensado = B({0x12});
  c.FimExpandido = B({0x1B, 0x57, 0x30});
  c.FimItalico = B({0x1B, 0x35});
  c.FimNegrito = B({0x1B, 0x48});
  c.FimSublinhado = B({0x1B, 0x2D, 0x00});
  c.InicioItalico = B({0x1B, 0x34});
  c.InicioNegrito = B({0x1B, 0x47});
  c.InicioSublinhado = B({0x1B, 0x2D, 0x01});
  c.AvancoLinha = B({0x0A});
  c.Reinicializa = B({0x1B, 0x40, 0x0F});
  // The normal font and font B are the condensed pitch; font A the normal one.
  c.RestauraFonte = c.InicioCondensado;
  c.SelecionaFonteB = c.InicioCondensado;
  c.SelecionaFonteA = c.FimCondensado;
  TagsSemSuporte = {"<ean8>",    "<ean13>",   "<std>",          "<inter>",         "<code11>",
                    "<code39>",  "<code93>",  "<code128>",      "<upca>",          "<upce>",
                    "<codabar>", "<msi>",     "<code128a>",     "<code128b>",      "<code128c>",
                    "<qrcode>",  "<ad>",      "<ae>",           "<ce>",            "<in>",
                    "</in>",     "</corte_parcial>", "</corte_total>", "<logo_imprimir>", "</abre_gaveta>",
                    "<abre_gaveta>", "</beep>", "<mp>"};
}

}  // namespace bilhetor

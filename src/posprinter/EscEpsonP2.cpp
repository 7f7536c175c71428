#include "posprinter/EscEpsonP2.h"

namespace bilhetor {

TEscEpsonP2::TEscEpsonP2(TPosPrinter& impressora) : TPosPrinterClass(impressora) {
  NomeModelo = "EscEpsonP2";
  TPosComandos& c = Comandos;
  c.EspacamentoPadrao = "\x1B\x32";
  c.InicioCondensado = "\x0F";
  c.PrefixoEspacamento = "\x1B\x30";
  c.InicioExpandido = "\x1B\x57\x31";
  c.FimCondensado = "\x12";
  c.FimExpandido = "\x1B\x57\x30";
  c.FimItalico = "\x1B\x35";
  c.FimNegrito = "\x1B\x48";
  c.FimSublinhado = std::string("\x1B\x2D\x00", 3);
  c.InicioItalico = "\x1B\x34";
  c.InicioNegrito = "\x1B\x47";
  c.InicioSublinhado = "\x1B\x2D\x01";
  c.AvancoLinha = "\x0A";
  c.Reinicializa = "\x1B\x40\x0F";
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

#pragma once
// The printer settings of the print server as they are kept in the INI file
// beside the executable: sections PosPrinter, Barras, QRCode, Logo and Gaveta.
// Values read from the file are clamped into the ranges of their controls;
// a missing key keeps the value the settings already hold. Keys, ranges, the
// way each reaches the engine and the control that shows it are in the table
// of settings (app/TabelaConfiguracao.h).
#include <string>

#include "app/IniFile.h"
#include "posprinter/PosTypes.h"

namespace bilhetor {

struct TConfiguracaoImpressora {
  // PosPrinter
  TPosPrinterModelo Modelo = TPosPrinterModelo::ppEscPosEpson;
  std::string Porta;
  std::string DeviceParams;
  int Colunas = 48;
  int EspacoEntreLinhas = 0;
  int LinhasBuffer = 0;
  int LinhasPular = 0;
  bool CortarPapel = true;
  bool ControlePorta = false;
  bool TraduzirTags = true;
  bool IgnorarTags = false;
  std::string ArqLog;
  TPosPaginaCodigo PaginaDeCodigo = TPosPaginaCodigo::pc850;
  // Barras
  int BarrasLargura = 0;
  int BarrasAltura = 0;
  bool HRI = false;
  // QRCode
  int QRCodeTipo = 2;
  int QRCodeLarguraModulo = 4;
  int QRCodeErrorLevel = 0;
  // Logo
  int LogoKC1 = 32;
  int LogoKC2 = 32;
  int LogoFatorX = 1;
  int LogoFatorY = 1;
  // Gaveta
  int GavetaNumero = 1;
  int GavetaTempoOn = 50;
  int GavetaTempoOff = 200;
  bool GavetaSinalInvertido = false;
};

// The settings file of an executable: its path with the extension replaced by
// ".ini", or ".ini" appended when it has none.
std::string ArquivoConfiguracao(const std::string& executavel);

// Reads every key, keeping the current value of `config` for missing keys
// (a missing or unreadable file leaves everything as it is).
void CarregarConfiguracao(const TIniFile& ini, TConfiguracaoImpressora& config);

// Writes every key in the file's order; other keys and sections stay.
void SalvarConfiguracao(TIniFile& ini, const TConfiguracaoImpressora& config);

}  // namespace bilhetor

namespace bilhetor {

class TPosPrinter;

// The engine as the print server's window is designed, before any settings
// are read: Epson model, printer check on, document name "PosPrinterDemo",
// QR code type 2 with module width 4.
void PrepararImpressora(TPosPrinter& impressora);

// The settings values that the main window reads from its controls when it
// activates the engine (model, port, log, columns, buffer, feeds, switches,
// code page, barcode, QR code and logo settings). The serial parameters go to
// the device. Nothing is activated here.
void AplicarConfiguracao(TPosPrinter& impressora, const TConfiguracaoImpressora& config);

}  // namespace bilhetor

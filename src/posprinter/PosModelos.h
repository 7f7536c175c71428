#pragma once
// The table of printer models: one row per value of TPosPrinterModelo, in the
// order of the enumeration (a row's index is the ordinal the settings file
// stores). The engine builds its command set from it, and the window's model
// list, bilhetor-print's --modelo and its help text are made from it.
//
// A new model is its command-set file, a value at the end of the enumeration
// and a row at the end of the table.
#include <memory>
#include <span>
#include <string>

#include "common/PosPrinterModelo.h"

namespace bilhetor {

class TPosPrinter;
class TPosPrinterClass;

// What a model's command set speaks, as far as the tools that read its bytes
// care.
enum class TFamiliaModelo {
  fmTexto,   // plain text: no commands at all
  fmEscPos,  // Epson's ESC/POS or a variant of it
  fmPropria  // a command language of its own (ESC/Bema, Daruma, Epson P2)
};

struct TModeloImpressora {
  TPosPrinterModelo Modelo;
  const char* Nome;  // the enumeration name, "ppEscPosEpson"
  TFamiliaModelo Familia;
  // Builds the model's command set for the engine.
  std::unique_ptr<TPosPrinterClass> (*Criar)(TPosPrinter& Impressora);
};

// Every model, in the order of the enumeration.
std::span<const TModeloImpressora> ModelosImpressora();

// The row of a model; nullptr for a value outside the enumeration.
const TModeloImpressora* AcharModelo(TPosPrinterModelo Modelo);

// Whether the model's bytes are ESC/POS or plain text, the ones the receipt
// preview draws as the printer would.
bool ModeloEscPos(TPosPrinterModelo Modelo);

// The command set of a model: its row's, the plain-text one for a value
// outside the enumeration.
std::unique_ptr<TPosPrinterClass> CriarConjuntoComandos(TPosPrinterModelo Modelo, TPosPrinter& Impressora);

// The enumeration name of a model ("ppEscPosEpson"); a value outside the
// enumeration by its number.
std::string NomeModeloEnum(TPosPrinterModelo Modelo);

}  // namespace bilhetor

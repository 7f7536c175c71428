#pragma once
// The printer models, in the order whose ordinals the settings file stores.
// The engine switches its command set by model; a USB hook names the model
// whose command set prints through it, so the device layer knows the type too.
// The table of models (posprinter/PosModelos.h) gives every value its name
// and command set: a new value, at the end, gets a row at the end there.
namespace bilhetor {

enum class TPosPrinterModelo {
  ppTexto,
  ppEscPosEpson,
  ppEscBematech,
  ppEscDaruma,
  ppEscVox,
  ppEscDiebold,
  ppEscEpsonP2,
  ppCustomPos,
  ppEscPosStar,
  ppEscZJiang,
  ppEscGPrinter,
};

}  // namespace bilhetor

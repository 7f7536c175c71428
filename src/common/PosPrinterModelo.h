#pragma once
// The printer models, in the order whose ordinals the settings file stores.
// The engine switches its command set by model; a USB hook names the model
// whose command set prints through it, so the device layer knows the type too.
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

#include "posprinter/PosModelos.h"

#include "common/Strings.h"
#include "posprinter/EscBematech.h"
#include "posprinter/EscCustomPos.h"
#include "posprinter/EscDaruma.h"
#include "posprinter/EscDiebold.h"
#include "posprinter/EscElgin.h"
#include "posprinter/EscEpsonP2.h"
#include "posprinter/EscGPrinter.h"
#include "posprinter/EscPosEpson.h"
#include "posprinter/EscPosStar.h"
#include "posprinter/PosPrinterClass.h"

namespace bilhetor {

namespace {

template <typename TComandos>
std::unique_ptr<TPosPrinterClass> Criar(TPosPrinter& Impressora) {
  return std::make_unique<TComandos>(Impressora);
}

using M = TPosPrinterModelo;
using F = TFamiliaModelo;

constexpr TModeloImpressora kModelos[] = {
    {M::ppTexto, "ppTexto", F::fmTexto, &Criar<TPosPrinterClass>},
    {M::ppEscPosEpson, "ppEscPosEpson", F::fmEscPos, &Criar<TEscPosEpson>},
    {M::ppEscBematech, "ppEscBematech", F::fmPropria, &Criar<TEscBematech>},
    {M::ppEscDaruma, "ppEscDaruma", F::fmPropria, &Criar<TEscDaruma>},
    {M::ppEscVox, "ppEscVox", F::fmPropria, &Criar<TEscElgin>},  // Vox speaks Elgin's
    {M::ppEscDiebold, "ppEscDiebold", F::fmEscPos, &Criar<TEscDiebold>},
    {M::ppEscEpsonP2, "ppEscEpsonP2", F::fmPropria, &Criar<TEscEpsonP2>},
    {M::ppCustomPos, "ppCustomPos", F::fmEscPos, &Criar<TEscCustomPos>},
    {M::ppEscPosStar, "ppEscPosStar", F::fmEscPos, &Criar<TEscPosStar>},
    {M::ppEscZJiang, "ppEscZJiang", F::fmEscPos, &Criar<TEscGPrinter>},  // ZJiang speaks GPrinter's
    {M::ppEscGPrinter, "ppEscGPrinter", F::fmEscPos, &Criar<TEscGPrinter>},
};

// A row's index is its model's ordinal, so that the row of a model is found
// by its value and a list made from the table is indexed by the ordinal.
constexpr bool NaOrdemDaEnumeracao() {
  int i = 0;
  for (const TModeloImpressora& m : kModelos)
    if (static_cast<int>(m.Modelo) != i++) return false;
  return true;
}
static_assert(NaOrdemDaEnumeracao(), "the rows of kModelos must follow the order of TPosPrinterModelo");

}  // namespace

std::span<const TModeloImpressora> ModelosImpressora() { return kModelos; }

const TModeloImpressora* AcharModelo(TPosPrinterModelo Modelo) {
  const int i = static_cast<int>(Modelo);
  if (i < 0 || i >= static_cast<int>(std::size(kModelos))) return nullptr;
  return &kModelos[i];
}

bool ModeloEscPos(TPosPrinterModelo Modelo) {
  // A value outside the enumeration prints plain text.
  const TModeloImpressora* m = AcharModelo(Modelo);
  return m == nullptr || m->Familia != TFamiliaModelo::fmPropria;
}

std::unique_ptr<TPosPrinterClass> CriarConjuntoComandos(TPosPrinterModelo Modelo, TPosPrinter& Impressora) {
  const TModeloImpressora* m = AcharModelo(Modelo);
  return m != nullptr ? m->Criar(Impressora) : std::make_unique<TPosPrinterClass>(Impressora);
}

std::string NomeModeloEnum(TPosPrinterModelo Modelo) {
  const TModeloImpressora* m = AcharModelo(Modelo);
  return m != nullptr ? std::string(m->Nome) : Format("%d", static_cast<int>(Modelo));
}

}  // namespace bilhetor

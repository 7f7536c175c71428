#pragma once
// Types shared by the printer engine, the tag language and the command sets.
// The order of every enumeration is fixed: the settings file stores ordinals
// and the font attributes and status flags are bit positions.
#include <cstdint>

#include "common/Exception.h"
#include "common/PosPrinterModelo.h"

namespace bilhetor {

// Errors of the engine and the command sets.
BILHETOR_DECLARE_ERROR(EPosPrinterException);

enum class TPosPaginaCodigo { pcNone, pc437, pc850, pc852, pc860, pcUTF8, pc1252 };

enum class TPosAtributoFonte {
  afNormal,
  afCondensado,
  afExpandido,
  afNegrito,
  afSublinhado,
  afInvertido,
  afItalico,
  afFonteB,
  afAlturaDupla,
};

// A set of font attributes: attribute k is bit k.
class TPosFonte {
 public:
  constexpr TPosFonte() = default;
  constexpr bool Contem(TPosAtributoFonte a) const { return (bits_ & Bit(a)) != 0; }
  constexpr void Incluir(TPosAtributoFonte a) { bits_ |= Bit(a); }
  constexpr void Excluir(TPosAtributoFonte a) { bits_ &= static_cast<uint16_t>(~Bit(a)); }
  constexpr bool Vazio() const { return bits_ == 0; }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TPosFonte&) const = default;

 private:
  static constexpr uint16_t Bit(TPosAtributoFonte a) { return static_cast<uint16_t>(1u << static_cast<int>(a)); }
  uint16_t bits_ = 0;
};

enum class TPosTipoStatus {
  stErro,
  stNaoSerial,
  stPoucoPapel,
  stSemPapel,
  stGavetaAberta,
  stImprimindo,
  stOffLine,
  stTampaAberta,
  stErroLeitura,
};

// A set of printer status flags: flag k is bit k.
class TPosStatus {
 public:
  constexpr TPosStatus() = default;
  constexpr bool Contem(TPosTipoStatus s) const { return (bits_ & Bit(s)) != 0; }
  constexpr void Incluir(TPosTipoStatus s) { bits_ |= Bit(s); }
  constexpr void Excluir(TPosTipoStatus s) { bits_ &= static_cast<uint16_t>(~Bit(s)); }
  constexpr bool Vazio() const { return bits_ == 0; }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TPosStatus&) const = default;

 private:
  static constexpr uint16_t Bit(TPosTipoStatus s) { return static_cast<uint16_t>(1u << static_cast<int>(s)); }
  uint16_t bits_ = 0;
};

enum class TPosTipoCorte { ctTotal, ctParcial };

enum class TPosDirecao {
  dirEsquerdaParaDireita,
  dirTopoParaBaixo,
  dirDireitaParaEsquerda,
  dirBaixoParaTopo,
};

}  // namespace bilhetor

// The bands the preview puts across the paper for what did not print as sent:
// unknown bytes and commands, errors, notes; and how bytes and symbol data
// are written in them.
#include <algorithm>

#include "common/Strings.h"
#include "preview/EscPosInterpretadorInterno.h"

namespace bilhetor::preview::escpos {

std::string Hex(std::string_view bytes) {
  static const char* digitos = "0123456789ABCDEF";
  std::string r;
  const std::size_t n = std::min(bytes.size(), kBytesMostrados);
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    if (!r.empty()) r.push_back(' ');
    r.push_back(digitos[b >> 4]);
    r.push_back(digitos[b & 15]);
  }
  if (bytes.size() > n) r += Format(" ... (%zu bytes)", bytes.size());
  return r;
}

std::string Legivel(std::string_view dados, std::size_t maximo) {
  std::string r;
  for (std::size_t i = 0; i < dados.size() && i < maximo; ++i) {
    const auto b = static_cast<uint8_t>(dados[i]);
    if (b >= 0x20 && b < 0x7F)
      r.push_back(static_cast<char>(b));
    else
      r += Format("<%02X>", b);
  }
  if (dados.size() > maximo) r += "...";
  return r;
}

void TInterpretador::Faixa(TTipoAnotacao tipo, const std::string& texto) {
  folha_.avisos.push_back(texto);
  if (!papel_.Cabe(papel_.Y() + kAlturaFaixa)) return;
  TAnotacao a;
  a.tipo = tipo;
  a.area = TRetangulo{0, papel_.Y(), folha_.largura, kAlturaFaixa};
  a.texto = texto;
  folha_.anotacoes.push_back(std::move(a));
  papel_.Avancar(kAlturaFaixa);
}

void TInterpretador::Desconhecido(const std::string& nome, std::string_view bytes) {
  Faixa(TTipoAnotacao::Desconhecido, nome + " desconhecido: " + Hex(bytes));
}

void TInterpretador::Erro(const std::string& texto, std::string_view bytes) {
  Faixa(TTipoAnotacao::Erro, bytes.empty() ? texto : texto + " (" + Hex(bytes) + ")");
}

void TInterpretador::Nota(const std::string& texto) { Faixa(TTipoAnotacao::Nota, texto); }

void TInterpretador::NaoDesenhado(const std::string& texto, std::string_view bytes) {
  Faixa(TTipoAnotacao::Desconhecido, texto + " (n\xE3o desenhado): " + Hex(bytes));
}

// Runs of unknown control bytes make one band, written when the run ends.
void TInterpretador::FecharDesconhecidos() {
  if (desconhecidos_.empty()) return;
  Faixa(TTipoAnotacao::Desconhecido,
        Format("bytes de controle desconhecidos na posi\xE7\xE3o %zu: ", inicioDesconhecidos_) + Hex(desconhecidos_));
  desconhecidos_.clear();
}

}  // namespace bilhetor::preview::escpos

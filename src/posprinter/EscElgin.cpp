#include "posprinter/EscElgin.h"

#include <exception>

#include "posprinter/PosBytes.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

TEscElgin::TEscElgin(TPosPrinter& impressora) : TEscBematech(impressora) { NomeModelo = "EscElgin"; }

std::string TEscElgin::MontarQRCode(const std::string& Codigo) {
  if (Codigo.find('\0') != std::string::npos)
    throw EPosPrinterException("QRCode com o byte 00, que encerra os dados na EscElgin");
  const TConfigQRCode& cfg = Impressora().ConfigQRCode();
  char e;
  switch (cfg.ErrorLevel()) {
    case 1: e = 'M'; break;
    case 2: e = 'Q'; break;
    case 3: e = 'H'; break;
    default: e = 'L'; break;
  }
  return B({0x1D, 0x6F, 0x00}) + Byte(cfg.LarguraModulo()) + Byte(0x00) + Byte(cfg.Tipo()) + B({0x1D, 0x6B, 0x0B}) +
         e + "A," + Codigo + Byte(0x00);
}

std::string TEscElgin::MontarGaveta(int /*Gaveta*/) { return B({0x1B, 0x76, 0x6E}) + Byte(TempoGaveta()); }

void TEscElgin::ConsultarStatus(TPosStatus& Status) {
  std::string resposta;
  try {
    resposta = Impressora().TransmitirReceber(B({0x05}), 1, 500, false);
  } catch (const std::exception&) {
    resposta.clear();
  }
  if (resposta.empty()) {
    Status.Incluir(TPosTipoStatus::stErroLeitura);
    return;
  }
  const uint8_t b = static_cast<uint8_t>(resposta[0]);
  if (!(b & 0x01)) Status.Incluir(TPosTipoStatus::stOffLine);
  if (b & 0x02) Status.Incluir(TPosTipoStatus::stSemPapel);
  if (b & 0x04) Status.Incluir(TPosTipoStatus::stGavetaAberta);
  if (!(b & 0x08)) Status.Incluir(TPosTipoStatus::stTampaAberta);
  if (b & 0x10) Status.Incluir(TPosTipoStatus::stPoucoPapel);
}

}  // namespace bilhetor

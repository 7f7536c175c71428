#include "posprinter/PosStatus.h"

#include "common/Strings.h"
#include "device/Device.h"
#include "posprinter/PosPrinter.h"

namespace bilhetor {

std::string NomeStatus(TPosTipoStatus Flag) {
  switch (Flag) {
    case TPosTipoStatus::stErro: return "stErro";
    case TPosTipoStatus::stNaoSerial: return "stNaoSerial";
    case TPosTipoStatus::stPoucoPapel: return "stPoucoPapel";
    case TPosTipoStatus::stSemPapel: return "stSemPapel";
    case TPosTipoStatus::stGavetaAberta: return "stGavetaAberta";
    case TPosTipoStatus::stImprimindo: return "stImprimindo";
    case TPosTipoStatus::stOffLine: return "stOffLine";
    case TPosTipoStatus::stTampaAberta: return "stTampaAberta";
    case TPosTipoStatus::stErroLeitura: return "stErroLeitura";
  }
  return {};
}

std::string TextoStatus(TPosStatus Status) {
  std::string r;
  for (int k = 0; k <= static_cast<int>(TPosTipoStatus::stErroLeitura); ++k) {
    const auto flag = static_cast<TPosTipoStatus>(k);
    if (Status.Contem(flag)) r += NomeStatus(flag) + ", ";
  }
  return r;
}

namespace {

// Logs the flags gathered so far when it goes out of scope, also when a
// device error is passing through.
class RegistroStatus {
 public:
  RegistroStatus(TPosPrinter& impressora, const TPosStatus& status) : impressora_(impressora), status_(status) {}
  ~RegistroStatus() {
    try {
      const std::string texto = TextoStatus(status_);
      if (!texto.empty()) impressora_.RegistrarLog("   " + texto, false, true);
    } catch (...) {
      // Logging never adds an error of its own.
    }
  }
  RegistroStatus(const RegistroStatus&) = delete;
  RegistroStatus& operator=(const RegistroStatus&) = delete;

 private:
  TPosPrinter& impressora_;
  const TPosStatus& status_;
};

// Puts the engine back in its previous active state, whatever happens.
class RestauraAtivo {
 public:
  explicit RestauraAtivo(TPosPrinter& impressora) : impressora_(impressora), ativo_(impressora.Ativo()) {}
  ~RestauraAtivo() noexcept(false) {
    if (impressora_.Ativo() == ativo_) return;
    if (std::uncaught_exceptions() > 0) {
      try {
        impressora_.SetAtivo(ativo_);
      } catch (...) {
        // The error already on its way out is the one the caller sees.
      }
    } else {
      impressora_.SetAtivo(ativo_);
    }
  }
  RestauraAtivo(const RestauraAtivo&) = delete;
  RestauraAtivo& operator=(const RestauraAtivo&) = delete;

 private:
  TPosPrinter& impressora_;
  bool ativo_;
};

}  // namespace

TPosStatus LerStatusImpressora(TPosPrinter& Impressora, int Tentativas) {
  if (Tentativas < 2) Tentativas = 1;
  Impressora.RegistrarLog(Format("LerStatusImpressora( %d )", Tentativas), false, true);

  TPosStatus status;
  RegistroStatus registro(Impressora, status);
  const TDevice& device = Impressora.Device();
  if (!device.IsSerial() && !device.IsTCP() && !device.IsHook()) {
    status.Incluir(TPosTipoStatus::stNaoSerial);
    return status;
  }
  {
    RestauraAtivo restaura(Impressora);
    Impressora.SetAtivo(true);
    for (int i = 0; i < Tentativas; ++i) {
      status = TPosStatus();
      Impressora.ConjuntoComandos().ConsultarStatus(status);
      if (!status.Contem(TPosTipoStatus::stErroLeitura)) break;
    }
  }
  // For drawers whose sensor reports the opposite level.
  if (Impressora.ConfigGaveta().SinalInvertido) {
    if (status.Contem(TPosTipoStatus::stGavetaAberta))
      status.Excluir(TPosTipoStatus::stGavetaAberta);
    else
      status.Incluir(TPosTipoStatus::stGavetaAberta);
  }
  return status;
}

std::string MotivoImpressoraParada(TPosStatus Status) {
  if (Status.Contem(TPosTipoStatus::stTampaAberta)) return "com Tampa Aberta";
  if (Status.Contem(TPosTipoStatus::stSemPapel)) return "Sem Papel";
  if (Status.Contem(TPosTipoStatus::stOffLine)) return "Desligada";
  if (Status.Contem(TPosTipoStatus::stErro)) return "em Erro";
  return {};
}

void VerificarStatusImpressora(TPosPrinter& Impressora) {
  const std::string motivo = MotivoImpressoraParada(LerStatusImpressora(Impressora, 1));
  if (!motivo.empty()) throw EPosPrinterException("Impressora " + motivo);
}

}  // namespace bilhetor

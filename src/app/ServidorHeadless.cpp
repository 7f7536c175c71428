#include "app/ServidorHeadless.h"

#include <algorithm>

namespace bilhetor {

void TServidorHeadless::TickCiclo() {
  std::string erro;
  bool falhou = true, doBanco = false;
  try {
    if (!form_.Ativo()) form_.CarregarConfiguracao();
    form_.Timer2Timer();
    falhou = false;
  } catch (const EAbort&) {
    doBanco = true;
  } catch (const EDatabaseError& e) {
    erro = e.what();
    doBanco = true;
  } catch (const std::exception& e) {
    erro = e.what();
  }
  if (!falhou) {
    if (!ultimoErro_.empty())
      form_.Mensagens().Informar(erroDoBanco_ ? "Banco de dados de volta."
                                              : "Impress\xE3o retomada na porta " + form_.PosPrinter1.Porta() + ".");
    ultimoErro_.clear();
  } else {
    if (!erro.empty() && erro != ultimoErro_) form_.Mensagens().MostrarErro(erro);
    if (!erro.empty()) {
      ultimoErro_ = erro;
      erroDoBanco_ = doBanco;
    }
    if (!doBanco && form_.Ativo()) form_.ExecutarTratando([this] { form_.bAtivarClick(); });
    form_.Timer2.SetEnabled(true);
  }
  if (AposCiclo) AposCiclo();
}

int TServidorHeadless::Iniciar() {
  const bool criado = form_.ExecutarTratando([this] { form_.FormCreate(); });
  if (!criado || (form_.Terminado() && !form_.SemBanco())) return 1;
  if (form_.SemBanco() && AoEsperarBanco) AoEsperarBanco();
  std::string motivo = form_.MotivoSemBanco();
  while (form_.SemBanco()) {
    for (int s = 0; s < kSegundosEsperaBanco; ++s) {
      if (!temporizador_.Esperar(1000)) return 0;
      if (AposRelogio) AposRelogio();
    }
    std::string novo;
    if (form_.ConectarBanco(novo)) {
      form_.Mensagens().Informar("Conectado ao banco de dados " + form_.DbConnection1.Database() + ".");
      form_.BancoConectado();
      break;
    }
    if (novo != motivo)
      form_.Mensagens().Mostrar(std::string(kMsgSemConexao) + "\r" + novo, kTituloAtencao, TIconeMensagem::Aviso);
    motivo = novo;
  }
  return -1;
}

int TServidorHeadless::Executar() {
  if (const int status = Iniciar(); status >= 0) return status;
  form_.ApplicationEvents1Minimize();
  if (AoIniciar) AoIniciar();

  int64_t proximo1 = temporizador_.AgoraMs() + form_.Timer1.Interval;
  int64_t proximo2 = temporizador_.AgoraMs() + form_.Timer2.Interval;
  uint64_t partidas2 = form_.Timer2.Partidas();
  for (;;) {
    // A timer that was enabled again starts its interval anew.
    if (form_.Timer2.Partidas() != partidas2) {
      partidas2 = form_.Timer2.Partidas();
      proximo2 = temporizador_.AgoraMs() + form_.Timer2.Interval;
    }
    int64_t proximo = proximo1;
    if (form_.Timer2.Enabled()) proximo = std::min(proximo, proximo2);
    const int64_t agora = temporizador_.AgoraMs();
    if (proximo > agora && !temporizador_.Esperar(proximo - agora)) return 0;

    if (temporizador_.AgoraMs() >= proximo1) {
      form_.ExecutarTratando([this] { form_.Timer1Timer(); });
      if (AposRelogio) AposRelogio();
      proximo1 += form_.Timer1.Interval;
      // Ticks missed during a long cycle are not made up.
      if (proximo1 <= temporizador_.AgoraMs()) proximo1 = temporizador_.AgoraMs() + form_.Timer1.Interval;
    }
    if (form_.Timer2.Enabled() && temporizador_.AgoraMs() >= proximo2) {
      TickCiclo();
      partidas2 = form_.Timer2.Partidas();
      proximo2 = temporizador_.AgoraMs() + form_.Timer2.Interval;
    }
  }
}

}  // namespace bilhetor

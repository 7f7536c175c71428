// On Windows the headless server is started by the user's log-on or by an
// administrator's tool, none of which asks for readiness or a watchdog; its
// messages go to standard error and the log file as they are.
#include "app/Servico.h"

namespace bilhetor {

void TServico::Pronto() {}
void TServico::Vivo() {}
void TServico::Parando() {}

bool SaidaErroNoJournal() { return false; }

}  // namespace bilhetor

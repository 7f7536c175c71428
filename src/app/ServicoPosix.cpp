#include "app/Servico.h"

#include <sys/stat.h>
#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <string>

namespace bilhetor {

void TServico::Pronto() { sd_notify(0, "READY=1"); }
void TServico::Vivo() { sd_notify(0, "WATCHDOG=1"); }
void TServico::Parando() { sd_notify(0, "STOPPING=1"); }

bool SaidaErroNoJournal() {
  const char* fluxo = std::getenv("JOURNAL_STREAM");
  if (!fluxo || !*fluxo) return false;
  struct stat st {};
  if (::fstat(2, &st) != 0) return false;
  return std::string(fluxo) == std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

}  // namespace bilhetor

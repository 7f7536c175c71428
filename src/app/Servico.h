#pragma once
// The service manager's side of the headless server: readiness, the watchdog
// and the stop, told to systemd when it started the program (NOTIFY_SOCKET);
// nothing otherwise. And whether standard error is the journal, so that the
// message lines can carry their priority.
namespace bilhetor {

class TServico {
 public:
  // READY=1: start-up is done and the first cycle is due.
  void Pronto();
  // WATCHDOG=1: the timer loop is alive (sent after every tick).
  void Vivo();
  // STOPPING=1: a stop was asked for and the program is ending.
  void Parando();
};

// True when standard error is a stream of the journal (JOURNAL_STREAM names
// its device and inode): lines may then begin with "<n>", their priority.
bool SaidaErroNoJournal();

}  // namespace bilhetor

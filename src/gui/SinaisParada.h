#pragma once
// SIGTERM and SIGINT in window mode. They are blocked from construction on,
// in this thread and in every thread started after (Qt's own), and read from
// a signalfd that the event loop watches: the stop runs as an ordinary event,
// between two handlers, so the program never ends in the middle of a ticket.
// Blocked, they interrupt no system call of the device or the database.
#include <signal.h>

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace bilhetor {

class TSinaisParada {
 public:
  TSinaisParada();
  // Restores the signal mask of before (after taking what is pending).
  ~TSinaisParada();
  TSinaisParada(const TSinaisParada&) = delete;
  TSinaisParada& operator=(const TSinaisParada&) = delete;

  // From now on a SIGTERM or SIGINT calls aoParar from the event loop. Needs
  // the application object.
  void Vigiar(std::function<void()> aoParar);

 private:
  // Takes the pending signals; true when there was one.
  bool Ler();

  sigset_t anterior_;
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notificador_;
  std::function<void()> aoParar_;
};

}  // namespace bilhetor

#pragma once
// A private CUPS scheduler for the tests: cupsd in the foreground with its
// own ServerRoot, spool and state in a temporary folder, listening only on a
// local socket in that folder, with file devices allowed. Print queues are
// added and removed through IPP; each test queue writes every job's bytes,
// unchanged, to a file of the test's choosing.
//
// The client library of this process is pointed at the server (CUPS_SERVER
// and cupsSetServer), so code that asks for the default server reaches it.
#include <memory>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace bilhetor::testing {

class CupsServer {
 public:
  // Starts cupsd and waits until it answers; throws std::runtime_error with
  // the reason (and the tail of the scheduler's log) when it cannot.
  CupsServer();
  ~CupsServer();
  CupsServer(const CupsServer&) = delete;
  CupsServer& operator=(const CupsServer&) = delete;

  // The server started once for the whole test executable (at first use);
  // stopped when the executable ends.
  static CupsServer& Shared();

  // The path of the scheduler's socket (what CUPS_SERVER holds).
  const std::string& Server() const { return socket_; }
  const std::string& Folder() const;

  // Adds (or replaces) a queue that passes jobs through unchanged to the file
  // outputFile, enabled and accepting jobs.
  void AddQueue(const std::string& name, const std::string& outputFile);
  void DeleteQueue(const std::string& name);
  void SetDefault(const std::string& name);
  // The queues, as the scheduler lists them.
  std::vector<std::string> Queues();

  struct Job {
    int id = 0;
    std::string title;
    bool completed = false;
  };
  // Every job of the queue, finished or not.
  std::vector<Job> Jobs(const std::string& queue);

  // The scheduler's error log (for failure messages).
  std::string ErrorLog() const;

 private:
  void Admin(void* request, const std::string& resource, const std::string& file, const std::string& what);

  std::unique_ptr<TempDir> dir_;
  std::string folder_;
  std::string socket_;
  std::string ppd_;
  std::unique_ptr<ChildProcess> cupsd_;
};

// A queue that lives as long as the object.
class ScopedQueue {
 public:
  ScopedQueue(CupsServer& server, std::string name, std::string outputFile);
  ~ScopedQueue();
  ScopedQueue(const ScopedQueue&) = delete;
  ScopedQueue& operator=(const ScopedQueue&) = delete;
  const std::string& Name() const { return name_; }
  const std::string& Output() const { return output_; }

 private:
  CupsServer& server_;
  std::string name_;
  std::string output_;
};

}  // namespace bilhetor::testing

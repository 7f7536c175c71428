// The private cupsd of the tests: Linux only (the Windows tests have no CUPS).
#include "support/CupsServer.h"

#include <cups/cups.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace bilhetor::testing {

namespace {

// A queue driver that hands the job's bytes on unchanged through the filter
// below. A plain raw queue (no driver) with a file device writes nothing in
// CUPS 2.4, so the test queues carry this minimal driver instead.
const char* const kPassThroughPpd = R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "PASSTHRU.PPD"
*Manufacturer: "Bilhetor"
*Product: "(Pass-through)"
*ModelName: "Bilhetor pass-through"
*ShortNickName: "Bilhetor pass-through"
*NickName: "Bilhetor pass-through"
*PSVersion: "(3010.000) 0"
*cupsVersion: 2.4
*cupsFilter: "application/vnd.cups-raw 0 bilhetor-passthru"
*cupsFilter: "application/octet-stream 0 bilhetor-passthru"
*OpenUI *PageSize: PickOne
*DefaultPageSize: A4
*PageSize A4/A4: ""
*CloseUI: *PageSize
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
)PPD";

// The filter: copies the job file (argument 6) or its standard input to its
// standard output, which the scheduler connects to the queue's file.
const char* const kPassThroughFilter = "#!/bin/sh\nif [ -n \"$6\" ]; then exec cat \"$6\"; fi\nexec cat\n";

// The scheduler's programs folder: the filter above, and the system's helper
// programs (cups-exec runs every filter).
const char* const kSystemServerBin = "/usr/lib/cups";

struct HttpCloser {
  void operator()(http_t* h) const { httpClose(h); }
};
using HttpPtr = std::unique_ptr<http_t, HttpCloser>;

HttpPtr Connect(const std::string& socket) {
  return HttpPtr(httpConnect2(socket.c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr));
}

std::string PrinterUri(const std::string& name) {
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
                   name.c_str());
  return uri;
}

ipp_t* NewRequest(ipp_op_t op, const std::string& name) {
  ipp_t* req = ippNewRequest(op);
  ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, PrinterUri(name).c_str());
  ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  return req;
}

}  // namespace

CupsServer::CupsServer() : dir_(std::make_unique<TempDir>()) {
  namespace fs = std::filesystem;
  const std::string cupsd = FindProgram("cupsd");
  if (cupsd.empty()) throw std::runtime_error("cupsd not found (Debian package cups-daemon)");

  folder_ = dir_->Path().string();
  // Job filters run as the scheduler's unprivileged user: it must reach the
  // spool inside this folder.
  ::chmod(folder_.c_str(), 0755);
  for (const char* sub : {"spool", "spool/tmp", "cache", "state", "log"}) fs::create_directories(folder_ + "/" + sub);
  ::chmod((folder_ + "/spool/tmp").c_str(), 01777);

  // A programs folder of its own, so that the test queues need no driver
  // package: only the scheduler (cups-daemon) has to be installed.
  const std::string serverBin = folder_ + "/serverbin";
  fs::create_directories(serverBin + "/filter");
  for (const char* sub : {"daemon", "backend", "cgi-bin", "notifier", "monitor", "driver"})
    if (fs::exists(std::string(kSystemServerBin) + "/" + sub))
      fs::create_directory_symlink(std::string(kSystemServerBin) + "/" + sub, serverBin + "/" + sub);
  const std::string filter = serverBin + "/filter/bilhetor-passthru";
  WriteFile(filter, kPassThroughFilter);
  ::chmod(filter.c_str(), 0755);

  socket_ = folder_ + "/cups.sock";
  ppd_ = folder_ + "/passthru.ppd";
  WriteFile(ppd_, kPassThroughPpd);
  WriteFile(folder_ + "/cupsd.conf",
            "LogLevel warn\n"
            "Listen " + socket_ + "\n"
            "Browsing No\n"
            "WebInterface No\n"
            "DefaultAuthType None\n"
            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
            "<Policy default>\n  <Limit All>\n    Order deny,allow\n    Allow all\n  </Limit>\n</Policy>\n");
  WriteFile(folder_ + "/cups-files.conf",
            "FileDevice Yes\n"
            "ServerRoot " + folder_ + "\n"
            "ServerBin " + serverBin + "\n"
            "RequestRoot " + folder_ + "/spool\n"
            "TempDir " + folder_ + "/spool/tmp\n"
            "CacheDir " + folder_ + "/cache\n"
            "StateDir " + folder_ + "/state\n"
            "ErrorLog " + folder_ + "/log/error_log\n"
            "AccessLog " + folder_ + "/log/access_log\n"
            "PageLog " + folder_ + "/log/page_log\n");

  cupsd_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{cupsd, "-f", "-c", folder_ + "/cupsd.conf", "-s", folder_ + "/cups-files.conf"},
      folder_ + "/log/cupsd.out");
  const bool up = WaitUntil(
      [&] {
        if (!cupsd_->Running()) return true;
        return static_cast<bool>(Connect(socket_));
      },
      std::chrono::milliseconds(20000));
  if (!up || !cupsd_->Running())
    throw std::runtime_error("cupsd did not start: " + ReadFile(folder_ + "/log/cupsd.out") + ErrorLog());

  ::setenv("CUPS_SERVER", socket_.c_str(), 1);
  ::unsetenv("LPDEST");
  ::unsetenv("PRINTER");
  cupsSetServer(socket_.c_str());
  cupsSetEncryption(HTTP_ENCRYPTION_NEVER);
}

CupsServer::~CupsServer() {
  if (cupsd_) cupsd_->Stop(std::chrono::milliseconds(5000));
}

CupsServer& CupsServer::Shared() {
  static CupsServer server;
  return server;
}

const std::string& CupsServer::Folder() const { return folder_; }

std::string CupsServer::ErrorLog() const {
  std::error_code ec;
  if (!std::filesystem::exists(folder_ + "/log/error_log", ec)) return "";
  return ReadFile(folder_ + "/log/error_log");
}

void CupsServer::Admin(void* request, const std::string& resource, const std::string& file,
                       const std::string& what) {
  HttpPtr http = Connect(socket_);
  if (!http) {
    ippDelete(static_cast<ipp_t*>(request));
    throw std::runtime_error(what + ": cannot reach cupsd");
  }
  ipp_t* reply = file.empty() ? cupsDoRequest(http.get(), static_cast<ipp_t*>(request), resource.c_str())
                              : cupsDoFileRequest(http.get(), static_cast<ipp_t*>(request), resource.c_str(),
                                                  file.c_str());
  ippDelete(reply);
  if (cupsLastError() > IPP_STATUS_OK_CONFLICTING)
    throw std::runtime_error(what + ": " + cupsLastErrorString());
}

void CupsServer::AddQueue(const std::string& name, const std::string& outputFile) {
  ipp_t* req = NewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, name);
  const std::string device = "file://" + outputFile;
  ippAddString(req, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, device.c_str());
  ippAddBoolean(req, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
  ippAddInteger(req, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
  Admin(req, "/admin/", ppd_, "adding queue " + name);
}

void CupsServer::DeleteQueue(const std::string& name) {
  Admin(NewRequest(IPP_OP_CUPS_DELETE_PRINTER, name), "/admin/", "", "deleting queue " + name);
}

void CupsServer::SetDefault(const std::string& name) {
  Admin(NewRequest(IPP_OP_CUPS_SET_DEFAULT, name), "/admin/", "", "setting default " + name);
}

std::vector<std::string> CupsServer::Queues() {
  std::vector<std::string> names;
  HttpPtr http = Connect(socket_);
  if (!http) return names;
  cups_dest_t* dests = nullptr;
  const int n = cupsGetDests2(http.get(), &dests);
  for (int i = 0; i < n; ++i)
    if (dests[i].instance == nullptr) names.emplace_back(dests[i].name);
  cupsFreeDests(n, dests);
  return names;
}

std::vector<CupsServer::Job> CupsServer::Jobs(const std::string& queue) {
  std::vector<Job> result;
  HttpPtr http = Connect(socket_);
  if (!http) return result;
  cups_job_t* jobs = nullptr;
  const int n = cupsGetJobs2(http.get(), &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
  for (int i = 0; i < n; ++i) {
    Job j;
    j.id = jobs[i].id;
    j.title = jobs[i].title != nullptr ? jobs[i].title : "";
    j.completed = jobs[i].state == IPP_JSTATE_COMPLETED;
    result.push_back(j);
  }
  cupsFreeJobs(n, jobs);
  return result;
}

ScopedQueue::ScopedQueue(CupsServer& server, std::string name, std::string outputFile)
    : server_(server), name_(std::move(name)), output_(std::move(outputFile)) {
  server_.AddQueue(name_, output_);
}

ScopedQueue::~ScopedQueue() {
  try {
    server_.DeleteQueue(name_);
  } catch (...) {
    // Already gone (a test may remove it on purpose).
  }
}

}  // namespace bilhetor::testing

// Starting and stopping programs from tests: one helper for every test that
// runs `osl`, `osl-service` or another command. Every wait is bounded; a
// child that outlives its test is killed by the destructor.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace osltest {

// A fresh folder under the system's temporary folder, removed with its
// content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `content` to path()/name and returns the full path.
  std::string Write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

// The whole content of `path`, or "" when it cannot be read.
std::string ReadFile(const std::string& path);

struct RunOptions {
  std::vector<std::string> env;  // "NAME=value" entries added to the environment
  std::string input;             // bytes written to the child's stdin (then closed)
  int timeoutMs = 60000;         // the child is killed after this long
  std::string workDir;           // empty = the test's own working folder
};

struct RunResult {
  int status = -1;  // exit status; -1 when killed by a signal or not started
  int signal = 0;   // the signal that ended the child, 0 if it exited
  bool timedOut = false;
  std::string out;
  std::string err;
};

// Runs `argv` (argv[0] is a path; no shell), feeds `options.input` and
// collects stdout and stderr until the child exits or the time-out passes.
RunResult RunProcess(const std::vector<std::string>& argv, const RunOptions& options = {});

// A child that runs beside the test. Its stdout is read line by line;
// stderr goes to a file that Stderr() reads.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `argv`. False with *error when it cannot be started.
  bool Start(const std::vector<std::string>& argv, const RunOptions& options, std::string* error);
  // The next line of stdout without its line feed; false when none arrives
  // within `timeoutMs` or stdout is closed.
  bool ReadLine(std::string* line, int timeoutMs);
  // Sends `sig` to the child (no wait).
  void Signal(int sig);
  // SIGTERM, then SIGKILL after `graceMs`; returns the exit status (-1 when
  // it was killed by a signal or not running).
  int Stop(int graceMs = 5000);
  // Waits at most `timeoutMs` for the child to exit by itself; the exit
  // status, or -2 when it is still running.
  int Wait(int timeoutMs);
  bool Running();
  pid_t pid() const { return pid_; }
  std::string Stderr() const;

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffered_;
  std::string errPath_;
};

// Path of a program built by this tree (bin/NAME).
std::string BuiltProgram(const std::string& name);

// One running osl-service on an ephemeral loopback port. Start waits for
// its "listening on" line; the destructor stops it.
class ServiceProcess {
 public:
  // Starts `osl-service --listen 127.0.0.1:0 --data DIR` plus `extra` (with
  // `--database URL` before them after UseDatabase). False with *error
  // when it does not announce its port within 10 s.
  bool Start(const std::string& dataDir, const std::vector<std::string>& extra,
             std::string* error);
  // Starts `osl-service --listen 127.0.0.1:0` plus exactly `args`.
  bool StartWith(const std::vector<std::string>& args, std::string* error);
  // Makes every later Start keep the service's state in the PostgreSQL
  // database at `url` (the files stay in DIR).
  void UseDatabase(const std::string& url) { databaseUrl_ = url; }
  // Adds "NAME=value" to the environment of every later start.
  void AddEnvironment(const std::string& entry) { env_.push_back(entry); }
  // Stops it (SIGTERM) and returns its exit status (-1 when killed).
  int Stop() { return child_.Stop(); }
  bool Running() { return child_.Running(); }
  uint16_t port() const { return port_; }
  pid_t pid() const { return child_.pid(); }
  // "http://127.0.0.1:PORT", or https:// when it announced HTTPS.
  std::string baseUrl() const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_);
  }
  std::string Stderr() const { return child_.Stderr(); }

 private:
  ChildProcess child_;
  uint16_t port_ = 0;
  std::string databaseUrl_;
  std::vector<std::string> env_;
  bool tls_ = false;
};

}  // namespace osltest

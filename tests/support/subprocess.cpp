#include "tests/support/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace osltest {
namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Forks and execs `argv` with stdin/stdout/stderr on the given descriptors
// (-1 = /dev/null). Returns the child's pid or -1.
pid_t Spawn(const std::vector<std::string>& argv, const RunOptions& options, int in, int out,
            int err) {
  if (argv.empty()) return -1;
  std::vector<std::string> args = argv;
  pid_t pid = ::fork();
  if (pid != 0) return pid;
  // Child: only async-signal-safe calls from here on, apart from putenv on
  // our own copy of the strings.
  int devnull = ::open("/dev/null", O_RDWR);
  ::dup2(in >= 0 ? in : devnull, STDIN_FILENO);
  ::dup2(out >= 0 ? out : devnull, STDOUT_FILENO);
  ::dup2(err >= 0 ? err : devnull, STDERR_FILENO);
  for (const std::string& entry : options.env) ::putenv(const_cast<char*>(entry.c_str()));
  if (!options.workDir.empty() && ::chdir(options.workDir.c_str()) != 0) ::_exit(126);
  ::setpgid(0, 0);
  std::vector<char*> raw;
  for (std::string& arg : args) raw.push_back(arg.data());
  raw.push_back(nullptr);
  ::execv(raw[0], raw.data());
  ::_exit(127);
}

void DecodeStatus(int raw, RunResult* result) {
  if (WIFEXITED(raw)) {
    result->status = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    result->signal = WTERMSIG(raw);
  }
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "osl-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  const std::string full = path_ + "/" + name;
  std::ofstream(full, std::ios::binary) << content;
  return full;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

RunResult RunProcess(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return result;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]), ::close(in[1]);
    return result;
  }
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
    return result;
  }
  const pid_t pid = Spawn(argv, options, in[0], out[1], err[1]);
  ::close(in[0]), ::close(out[1]), ::close(err[1]);
  if (pid < 0) {
    ::close(in[1]), ::close(out[0]), ::close(err[0]);
    return result;
  }
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  size_t written = 0;
  int inFd = in[1];
  if (options.input.empty()) {
    ::close(inFd);
    inFd = -1;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
  int outFd = out[0], errFd = err[0];
  while (outFd >= 0 || errFd >= 0) {
    pollfd fds[3];
    int n = 0;
    if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
    if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
    const int left = MillisLeft(deadline);
    if (left == 0) {
      result.timedOut = true;
      break;
    }
    if (::poll(fds, n, left) < 0 && errno != EINTR) break;
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        ssize_t k = ::write(inFd, options.input.data() + written, options.input.size() - written);
        if (k > 0) written += static_cast<size_t>(k);
        if (k < 0 && errno != EAGAIN) written = options.input.size();
        if (written == options.input.size()) {
          ::close(inFd);
          inFd = -1;
        }
        continue;
      }
      char buffer[65536];
      ssize_t k = ::read(fds[i].fd, buffer, sizeof buffer);
      std::string& sink = fds[i].fd == outFd ? result.out : result.err;
      if (k > 0) {
        sink.append(buffer, static_cast<size_t>(k));
      } else if (k == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        (fds[i].fd == outFd ? outFd : errFd) = -1;
      }
    }
  }
  if (inFd >= 0) ::close(inFd);
  if (outFd >= 0) ::close(outFd);
  if (errFd >= 0) ::close(errFd);
  int raw = 0;
  if (result.timedOut) {
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &raw, 0);
    return result;
  }
  // Output closed: the child has exited or is about to; still bounded.
  for (;;) {
    if (::waitpid(pid, &raw, WNOHANG) == pid) break;
    if (MillisLeft(deadline) == 0) {
      result.timedOut = true;
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &raw, 0);
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  DecodeStatus(raw, &result);
  return result;
}

ChildProcess::~ChildProcess() {
  Stop(2000);
  if (!errPath_.empty()) ::unlink(errPath_.c_str());
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const RunOptions& options,
                         std::string* error) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    *error = "pipe failed";
    return false;
  }
  // A child started again gets a fresh stderr file; the last one's goes.
  if (!errPath_.empty()) ::unlink(errPath_.c_str()), errPath_.clear();
  char pattern[] = "/tmp/osl-child-err-XXXXXX";
  int err = ::mkstemp(pattern);
  if (err < 0) {
    ::close(out[0]), ::close(out[1]);
    *error = "cannot create a stderr file";
    return false;
  }
  errPath_ = pattern;
  pid_ = Spawn(argv, options, -1, out[1], err);
  ::close(out[1]);
  ::close(err);
  out_ = out[0];
  if (pid_ < 0) {
    *error = "fork failed";
    return false;
  }
  return true;
}

bool ChildProcess::ReadLine(std::string* line, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const size_t end = buffered_.find('\n');
    if (end != std::string::npos) {
      *line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return true;
    }
    if (out_ < 0) return false;
    pollfd pfd{out_, POLLIN, 0};
    const int left = MillisLeft(deadline);
    if (left == 0 || ::poll(&pfd, 1, left) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) {
      ::close(out_);
      out_ = -1;
      continue;
    }
    buffered_.append(buffer, static_cast<size_t>(n));
  }
}

void ChildProcess::Signal(int sig) {
  if (pid_ > 0) ::kill(pid_, sig);
}

int ChildProcess::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
      pid_ = -1;
      if (out_ >= 0) ::close(out_), out_ = -1;
      return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    if (MillisLeft(deadline) == 0) return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int ChildProcess::Stop(int graceMs) {
  if (pid_ <= 0) {
    if (!errPath_.empty()) ::unlink(errPath_.c_str()), errPath_.clear();
    return -1;
  }
  ::kill(pid_, SIGTERM);
  int status = Wait(graceMs);
  if (status == -2) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    Wait(10000);
    status = -1;
  }
  return status;
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  return Wait(0) == -2;
}

std::string ChildProcess::Stderr() const { return errPath_.empty() ? "" : ReadFile(errPath_); }

std::string BuiltProgram(const std::string& name) {
  return std::string(OSL_BINARY_DIR) + "/bin/" + name;
}

bool ServiceProcess::Start(const std::string& dataDir, const std::vector<std::string>& extra,
                           std::string* error) {
  std::vector<std::string> args;
  if (!databaseUrl_.empty()) args = {"--database", databaseUrl_};
  args.push_back("--data");
  args.push_back(dataDir);
  args.insert(args.end(), extra.begin(), extra.end());
  return StartWith(args, error);
}

bool ServiceProcess::StartWith(const std::vector<std::string>& args, std::string* error) {
  std::vector<std::string> argv = {BuiltProgram("osl-service"), "--listen", "127.0.0.1:0"};
  argv.insert(argv.end(), args.begin(), args.end());
  RunOptions options;
  options.env = env_;
  if (!child_.Start(argv, options, error)) return false;
  std::string line;
  const std::string prefix = "listening on http://127.0.0.1:";
  const std::string tlsPrefix = "listening on https://127.0.0.1:";
  const bool read = child_.ReadLine(&line, 10000);
  tls_ = read && line.rfind(tlsPrefix, 0) == 0;
  if (!read || (!tls_ && line.rfind(prefix, 0) != 0)) {
    child_.Stop();
    *error = "osl-service did not start; its first line was: '" + line + "'; stderr: " +
             child_.Stderr();
    return false;
  }
  port_ = static_cast<uint16_t>(std::atoi(line.c_str() + (tls_ ? tlsPrefix : prefix).size()));
  return port_ != 0;
}

}  // namespace osltest

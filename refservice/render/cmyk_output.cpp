#include "refservice/render/cmyk_output.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <thread>
#include <vector>

#include "colour/cmyk_conversion.h"
#include "refservice/render/qdf_content_streams.h"

extern char** environ;

namespace refservice {
namespace {

// A private temporary folder, removed with the files this code puts in it (kFiles).
constexpr const char* kFiles[] = {"in.pdf",   "qdf.pdf", "inked.pdf", "exact.pdf",
                                  "tool.log", "out.pdf", "gs.log"};
class TempFolder {
 public:
  TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/osl-cmyk-XXXXXX";
    if (::mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    if (path_.empty()) return;
    for (const char* name : kFiles) ::unlink((path_ + "/" + name).c_str());
    ::rmdir(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool WriteFile(const std::string& path, const std::string& data) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < data.size()) {
    ssize_t put = ::write(fd, data.data() + done, data.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<size_t>(put);
  }
  return ::close(fd) == 0 && done == data.size();
}

// Reads at most `limit` bytes; false when the file is missing, unreadable or larger.
bool ReadFile(const std::string& path, size_t limit, std::string* out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out->clear();
  char buffer[65536];
  bool ok = true;
  while (true) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    out->append(buffer, static_cast<size_t>(got));
    if (out->size() > limit) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  return ok;
}

// The last line Ghostscript wrote, for the error message.
std::string LastLine(const std::string& log) {
  std::string text = log.substr(log.size() > 4096 ? log.size() - 4096 : 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  size_t start = text.rfind('\n');
  text = start == std::string::npos ? text : text.substr(start + 1);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return text.size() > 200 ? text.substr(0, 200) : text;
}

// Runs `args` (args[0] the program) with standard input from /dev/null, standard output to
// `outPath` and standard error to `logPath` (one file when they are the same), killed at
// `deadline`. True when it exited with one of
// `okCodes`; else false with `error` naming `what` and Ghostscript's or qpdf's last line.
bool RunTool(std::vector<std::string> args, const std::string& outPath, const std::string& logPath,
             std::chrono::steady_clock::time_point deadline, std::initializer_list<int> okCodes,
             const char* what, std::string* error) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  if (logPath == outPath) {
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    *error = std::string("CMYK output: cannot run ") + what + ": " + std::strerror(spawned);
    return false;
  }
  int status = 0;
  while (true) {
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      *error = std::string("CMYK output: ") + what + " took longer than " +
               std::to_string(kCmykTimeoutSeconds) + " s in all and was stopped";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  bool ok = false;
  if (WIFEXITED(status)) {
    for (int code : okCodes) ok = ok || WEXITSTATUS(status) == code;
  }
  if (!ok) {
    std::string messages;
    ReadFile(logPath, 1u << 20, &messages);
    *error = std::string("CMYK output: ") + what + " failed";
    const std::string last = LastLine(messages);
    if (!last.empty()) *error += ": " + last;
  }
  return ok;
}

// `in` (the built PDF) with the builder's ink markers written as their CMYK inks, into `out`.
bool WriteExactInks(const TempFolder& folder, const std::string& in, const std::string& out,
                    const std::vector<InkMarker>& markers,
                    std::chrono::steady_clock::time_point deadline, std::string* error) {
  for (const char* tool : {kQpdf, kFixQdf}) {
    if (::access(tool, X_OK) != 0) {
      *error = std::string("CMYK output needs qpdf (") + tool + "), which is not installed";
      return false;
    }
  }
  const std::string qdf = folder.path() + "/qdf.pdf";
  const std::string inked = folder.path() + "/inked.pdf";
  const std::string log = folder.path() + "/tool.log";
  // Exit code 3: qpdf wrote the file but had warnings.
  if (!RunTool({kQpdf, "--qdf", "--object-streams=disable", "--decode-level=generalized",
                "--compress-streams=n", in, qdf},
               "/dev/null", log, deadline, {0, 3}, "qpdf", error)) {
    return false;
  }
  std::string text;
  if (!ReadFile(qdf, kMaxCmykPdfBytes, &text)) {
    *error = "CMYK output: the uncompressed PDF is missing or larger than " +
             std::to_string(kMaxCmykPdfBytes >> 20) + " MiB";
    return false;
  }
  std::string rewritten;
  if (!RewriteQdfContentStreams(
          text, [&](const std::string& data) { return ReplaceInkMarkers(data, markers); },
          &rewritten, error)) {
    *error = "CMYK output: " + *error;
    return false;
  }
  text.clear();
  ::unlink(qdf.c_str());
  if (!WriteFile(inked, rewritten)) {
    *error = "CMYK output: cannot write the temporary PDF";
    return false;
  }
  rewritten.clear();
  return RunTool({kFixQdf, inked}, out, log, deadline, {0}, "fix-qdf", error);
}

}  // namespace

bool ConvertPdfToCmyk(const std::string& pdf, const std::vector<InkMarker>& inks, std::string* cmyk,
                      std::string* error) {
  if (::access(kGhostscript, X_OK) != 0) {
    *error =
        std::string("CMYK output needs Ghostscript (") + kGhostscript + "), which is not installed";
    return false;
  }
  TempFolder folder;
  if (folder.path().empty()) {
    *error = std::string("CMYK output: cannot make a temporary folder: ") + std::strerror(errno);
    return false;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(kCmykTimeoutSeconds);
  std::string in = folder.path() + "/in.pdf";
  const std::string out = folder.path() + "/out.pdf";
  const std::string log = folder.path() + "/gs.log";
  if (!WriteFile(in, pdf)) {
    *error = "CMYK output: cannot write the temporary PDF";
    return false;
  }
  if (!inks.empty()) {
    const std::string exact = folder.path() + "/exact.pdf";
    if (!WriteExactInks(folder, in, exact, inks, deadline, error)) return false;
    in = exact;
  }
  if (!RunTool({kGhostscript, "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite",
                "-sColorConversionStrategy=CMYK", "-sProcessColorModel=DeviceCMYK",
                std::string("-sOutputICCProfile=") + colour::kDefaultCmykProfile,
                "-sOutputFile=" + out, in},
               log, log, deadline, {0}, "Ghostscript", error)) {
    return false;
  }
  std::string converted;
  if (!ReadFile(out, kMaxCmykPdfBytes, &converted) || converted.compare(0, 5, "%PDF-") != 0) {
    *error = "CMYK output: Ghostscript gave no PDF, or one larger than " +
             std::to_string(kMaxCmykPdfBytes >> 20) + " MiB";
    return false;
  }
  *cmyk = std::move(converted);
  return true;
}

}  // namespace refservice

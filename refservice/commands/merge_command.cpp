#include "refservice/commands/merge_command.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "refservice/commands/local_file.h"
#include "refservice/merge/merge_run.h"
#include "refservice/render/sheet_layout.h"
#include "refservice/render/template_bundle.h"
#include "refservice/storage/file_system.h"

namespace refservice {
namespace {

// Set by SIGINT or SIGTERM while a merge runs; the merge stops at the next record and removes
// what it wrote.
std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

// SIGINT and SIGTERM set gInterrupted for the object's life; the old handlers come back after.
class InterruptGuard {
 public:
  InterruptGuard() {
    gInterrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

// Records done / total, the rate and the time left, redrawn in place at most ten times a second.
class ProgressBar {
 public:
  ProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  void Update(size_t done, size_t total) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (done < total && now - shown_ < std::chrono::milliseconds(100)) return;
    shown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    constexpr int kWidth = 30;
    const int filled = total > 0 ? static_cast<int>(kWidth * done / total) : 0;
    char line[160];
    std::snprintf(line, sizeof line, "\r[%-*.*s] %zu/%zu records, %.0f/s, %.0f s left ", kWidth,
                  filled, "##############################", done, total, rate,
                  rate > 0 ? (total - done) / rate : 0.0);
    err_ << line << std::flush;
    drawn_ = true;
  }
  void End() {
    if (drawn_) err_ << "\n";
  }
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::ostream& err_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown_{};
};

}  // namespace

int MergeCommand(const StoreLocation& location, const MergeCommandOptions& options,
                 std::ostream& out, std::ostream& err) {
  std::string error;
  SheetOptions sheets;
  if (options.perSheet != 0) {
    if (options.perSheet < 1 || options.perSheet > kMaxPerSheet) {
      err << "osl-service: --per-sheet must be between 1 and " << kMaxPerSheet << "\n";
      return 2;
    }
    if (!(options.bleedMm >= 0 && options.bleedMm <= 50)) {
      err << "osl-service: --bleed must be between 0 and 50 mm\n";
      return 2;
    }
    if (!ParseSheetSize(options.sheet, &sheets.sheetWidth, &sheets.sheetHeight, &error)) {
      err << "osl-service: " << error << "\n";
      return 2;
    }
    sheets.perSheet = options.perSheet;
    sheets.bleed = options.bleedMm * kPointsPerMm;
  }
  const std::string& filesDir = location.files();
  std::unique_ptr<FileSystem> fs = OpenFileSystem(filesDir, &error);
  std::unique_ptr<Store> store;
  if (fs) store = OpenStoreReadOnly(location, &error);
  if (!fs || !store) {
    err << "osl-service: " << (error.empty() ? "cannot open " + filesDir : error) << "\n";
    return 2;
  }
  TemplateBundle bundle;
  if (LoadTemplateBundle(store.get(), fs.get(), filesDir, options.id, -1, &bundle, &error) !=
      BundleStatus::kOk) {
    err << "osl-service: " << error << "\n";
    return 2;
  }

  MergeRequest request;
  request.format = RecordFormatOfName(options.recordsPath);
  request.sheets = sheets;
  request.stopOnCut = options.stopOnCut;
  const std::string path = options.recordsPath;
  request.openRecords = [path]() -> std::unique_ptr<std::istream> {
    auto in = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*in) return nullptr;
    return in;
  };
  // Image values are paths, relative ones to the records file's folder.
  const std::string base =
      path.find('/') == std::string::npos ? std::string(".") : path.substr(0, path.rfind('/'));
  request.loadImage = [base](const std::string& name, std::string* bytes, std::string* failure) {
    return ReadLocalFile(!name.empty() && name[0] == '/' ? name : base + "/" + name,
                         kMaxImageValueBytes, bytes, failure);
  };
  {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) {
      err << "osl-service: cannot open " << path << "\n";
      return 2;
    }
  }

  InterruptGuard interrupts;
  size_t total = 0;
  if (!CheckMergeRecords(bundle, request, &total, &error, &gInterrupted)) {
    if (gInterrupted.load()) {
      err << "osl-service: interrupted; nothing written\n";
      return 130;
    }
    err << "osl-service: " << path << ": " << error << "\n";
    return 2;
  }
  ProgressBar bar(err, options.progressBar);
  MergeObserver observer;
  observer.cancel = &gInterrupted;
  observer.progress = [&bar](size_t done, size_t all) { bar.Update(done, all); };
  observer.document = [&out](const Record& record, const RenderResult& result) {
    out << record.Where() << ":\n";
    const std::string text = ReportText(result);
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find('\n', start);
      out << "  " << text.substr(start, end - start) << "\n";
      if (end == std::string::npos) break;
      start = end + 1;
    }
  };
  MergeSummary summary;
  const MergeStatus status =
      WriteMerge(bundle, fs.get(), request, total, options.outPath, observer, &summary, &error);
  bar.End();
  switch (status) {
    case MergeStatus::kDone:
      break;
    case MergeStatus::kCancelled:
      err << "osl-service: interrupted; nothing written\n";
      return 130;
    case MergeStatus::kBadInput:
      err << "osl-service: " << (error.rfind("record ", 0) == 0 ? path + ": " : "") << error
          << "\n";
      return 2;
    case MergeStatus::kCannotWrite:
      err << "osl-service: " << error << "\n";
      return 1;
  }
  out << MergeSummaryText(summary) << "\n";
  out << "wrote " << options.outPath << " (" << summary.pages << " page"
      << (summary.pages == 1 ? "" : "s") << ")\n";
  char line[160];
  const double seconds = bar.Seconds();
  std::snprintf(line, sizeof line, "merged %zu records in %.1f s (%.0f a second)\n",
                summary.records, seconds, seconds > 0 ? summary.records / seconds : 0.0);
  err << line;
  return 0;
}

}  // namespace refservice

#include "refservice/merge/merge_jobs.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <streambuf>

#include "refservice/common/identifiers.h"

namespace refservice {
namespace {

using Clock = std::chrono::steady_clock;

// Reads a string held elsewhere without copying it.
class StringSource : public std::streambuf {
 public:
  explicit StringSource(const std::string& text) {
    char* start = const_cast<char*>(text.data());
    setg(start, start, start + text.size());
  }
};

class StringStream : public std::istream {
 public:
  explicit StringStream(const std::string& text) : std::istream(nullptr), source_(text) {
    rdbuf(&source_);
  }

 private:
  StringSource source_;
};

enum class JobState { kQueued, kRunning, kDone, kFailed };

const char* StateName(JobState state) {
  switch (state) {
    case JobState::kQueued: return "queued";
    case JobState::kRunning: return "running";
    case JobState::kDone: return "done";
    case JobState::kFailed: return "failed";
  }
  return "failed";
}

}  // namespace

struct MergeJobs::Job {
  std::string id;
  int owner = -1;
  std::string templateId;
  TemplateBundle bundle;
  FileSystem* fs = nullptr;
  std::string records;
  MergeRequest request;
  std::string path;
  // Guarded by the registry's mutex.
  JobState state = JobState::kQueued;
  MergeSummary summary;
  std::string error;
  Clock::time_point endedAt;
  // Written by the running thread, read by anyone.
  std::atomic<size_t> done{0};
  std::atomic<size_t> total{0};
};

MergeJobs::MergeJobs(MergeJobOptions options) : options_(std::move(options)) {}

MergeJobs::~MergeJobs() { Stop(); }

std::string MergeJobs::Submit(int owner, TemplateBundle bundle, FileSystem* fs,
                              std::string records, MergeRequest request, Refusal* refusal,
                              int* retryAfterSeconds, std::string* error) {
  *refusal = Refusal::kNone;
  *retryAfterSeconds = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) {
    *refusal = Refusal::kStopped;
    *error = "the service is stopping";
    return "";
  }
  const Clock::time_point now = Clock::now();
  ExpireLocked(now);
  // Waiting helps once the first ended job of those counted expires.
  auto soonest = [&](bool ownOnly) {
    int seconds = 30;
    for (const auto& entry : jobs_) {
      const Job& job = *entry.second;
      if (ownOnly && job.owner != owner) continue;
      if (job.state != JobState::kDone && job.state != JobState::kFailed) continue;
      const auto left = std::chrono::duration_cast<std::chrono::seconds>(
          job.endedAt + std::chrono::seconds(options_.keepSeconds) - now);
      seconds = std::min(seconds, std::max(1, static_cast<int>(left.count()) + 1));
    }
    return seconds;
  };
  const int owned = static_cast<int>(std::count_if(
      jobs_.begin(), jobs_.end(), [owner](const auto& entry) { return entry.second->owner == owner; }));
  if (owned >= options_.maxPerOwner) {
    *refusal = Refusal::kOwnerFull;
    *retryAfterSeconds = soonest(true);
    *error = "this account already has " + std::to_string(owned) +
             " merge jobs (at most " + std::to_string(options_.maxPerOwner) +
             "); fetch their files and try again later";
    return "";
  }
  if (static_cast<int>(jobs_.size()) >= options_.maxJobs) {
    *refusal = Refusal::kServiceFull;
    *retryAfterSeconds = soonest(false);
    *error = "the service is busy with other merge jobs; try again later";
    return "";
  }
  if (!folderMade_) {
    if (::mkdir(options_.folder.c_str(), 0700) != 0 && errno != EEXIST) {
      *refusal = Refusal::kNoFolder;
      *error = "cannot make the folder for merged files: " + std::string(std::strerror(errno));
      return "";
    }
    folderMade_ = true;
  }
  auto job = std::make_shared<Job>();
  job->id = RandomHex(16);
  job->owner = owner;
  job->templateId = bundle.record.docId;
  job->bundle = std::move(bundle);
  job->fs = fs;
  job->records = std::move(records);
  job->request = std::move(request);
  const std::string* text = &job->records;
  job->request.openRecords = [text]() -> std::unique_ptr<std::istream> {
    return std::make_unique<StringStream>(*text);
  };
  job->request.loadImage = nullptr;
  job->path = options_.folder + "/" + job->id + ".pdf";
  jobs_[job->id] = job;
  queue_.push_back(job);
  while (static_cast<int>(threads_.size()) < std::max(1, options_.threads)) {
    threads_.emplace_back([this] { Loop(); });
  }
  wake_.notify_one();
  return job->id;
}

bool MergeJobs::Find(int owner, const std::string& id, MergeJobState* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = Clock::now();
  ExpireLocked(now);
  auto found = jobs_.find(id);
  if (found == jobs_.end() || found->second->owner != owner) return false;
  const Job& job = *found->second;
  *out = MergeJobState();
  out->id = job.id;
  out->templateId = job.templateId;
  out->state = StateName(job.state);
  out->done = job.done.load();
  out->total = job.total.load();
  if (job.state == JobState::kDone) {
    out->summary = job.summary;
    out->path = job.path;
  }
  if (job.state == JobState::kFailed) out->error = job.error;
  if (job.state == JobState::kDone || job.state == JobState::kFailed) {
    out->secondsLeft = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(
                                            job.endedAt +
                                            std::chrono::seconds(options_.keepSeconds) - now)
                                            .count());
  }
  return true;
}

void MergeJobs::ExpireLocked(Clock::time_point now) {
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    const Job& job = *it->second;
    const bool ended = job.state == JobState::kDone || job.state == JobState::kFailed;
    if (ended && now - job.endedAt >= std::chrono::seconds(options_.keepSeconds)) {
      ::unlink(job.path.c_str());
      it = jobs_.erase(it);
    } else {
      ++it;
    }
  }
}

void MergeJobs::Loop() {
  if (options_.niceIncrement > 0) {
    // Linux schedules threads one by one: this lowers only the calling thread.
    const auto self = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, now + options_.niceIncrement));
  }
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // Wakes now and then to remove the jobs past their time, even when nobody asks.
      wake_.wait_for(lock, std::chrono::seconds(30),
                     [this] { return stopped_ || !queue_.empty(); });
      if (stopped_) return;
      ExpireLocked(Clock::now());
      if (queue_.empty()) continue;
      job = queue_.front();
      queue_.pop_front();
      job->state = JobState::kRunning;
    }
    Run(job);
  }
}

void MergeJobs::Run(const std::shared_ptr<Job>& job) {
  std::string error;
  size_t total = 0;
  MergeSummary summary;
  bool ok = CheckMergeRecords(job->bundle, job->request, &total, &error, &cancel_);
  if (ok) {
    job->total = total;
    MergeObserver observer;
    observer.cancel = &cancel_;
    observer.progress = [&job](size_t done, size_t) { job->done = done; };
    ok = WriteMerge(job->bundle, job->fs, job->request, total, job->path, observer, &summary,
                    &error) == MergeStatus::kDone;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  job->state = ok ? JobState::kDone : JobState::kFailed;
  job->summary = summary;
  job->error = error;
  job->endedAt = Clock::now();
  // What only the run needed goes now; the job keeps its state and its file.
  std::string().swap(job->records);
  job->bundle = TemplateBundle();
}

void MergeJobs::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    cancel_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  threads_.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& entry : jobs_) ::unlink(entry.second->path.c_str());
  jobs_.clear();
  if (folderMade_) ::rmdir(options_.folder.c_str());
  folderMade_ = false;
}

}  // namespace refservice

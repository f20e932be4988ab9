// Print runs started over HTTP: each is a job that runs in the background on the registry's own
// threads (a bounded share, at a lower scheduling priority, so renders, SOAP calls and pages
// keep theirs), writes its PDF into the registry's folder, and is kept there for a while after
// it ends so its caller can fetch the file. Only the account that started a job can see it.
//
// Bounded: at most `maxPerOwner` jobs per account and `maxJobs` in all are kept (queued, running
// or ended and not yet expired); beyond that a new job is refused. An ended job, its file with
// it, goes `keepSeconds` after it ended, and every job goes when the registry stops (a running
// one is cancelled at its next record). Safe to use from several threads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "refservice/merge/merge_run.h"

namespace refservice {

struct MergeJobOptions {
  std::string folder;  // where the PDFs are written; made on the first job, removed at stop
  int threads = 1;     // jobs running at once
  int maxPerOwner = 4;
  int maxJobs = 32;
  int keepSeconds = 600;
  int niceIncrement = 5;
};

// What a caller sees of a job.
struct MergeJobState {
  std::string id;
  std::string templateId;
  std::string state;  // "queued", "running", "done" or "failed"
  size_t done = 0, total = 0;  // records drawn, of all (total is 0 until they are checked)
  MergeSummary summary;        // when done
  std::string error;           // when failed
  std::string path;            // when done: the PDF
  int secondsLeft = 0;         // when ended: until the job and its file are removed
};

class MergeJobs {
 public:
  explicit MergeJobs(MergeJobOptions options);
  ~MergeJobs();
  MergeJobs(const MergeJobs&) = delete;
  MergeJobs& operator=(const MergeJobs&) = delete;

  enum class Refusal { kNone, kOwnerFull, kServiceFull, kStopped, kNoFolder };

  // Queues a merge of `records` (CSV or JSON as `request.format` says; `request.openRecords`
  // is set here) into template `bundle` for account `owner`. The job's identifier, or "" with
  // `refusal` set (and `retryAfterSeconds`, when waiting helps).
  std::string Submit(int owner, TemplateBundle bundle, FileSystem* fs, std::string records,
                     MergeRequest request, Refusal* refusal, int* retryAfterSeconds,
                     std::string* error);

  // The job `id` of `owner`; false when there is none (another account's job included).
  bool Find(int owner, const std::string& id, MergeJobState* out);

  // Cancels the running jobs, waits for them, removes every job's file and the folder.
  void Stop();

 private:
  struct Job;
  void Loop();
  void Run(const std::shared_ptr<Job>& job);
  // Drops the ended jobs past their time (with their files). Called with mutex_ held.
  void ExpireLocked(std::chrono::steady_clock::time_point now);

  MergeJobOptions options_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::map<std::string, std::shared_ptr<Job>> jobs_;
  std::deque<std::shared_ptr<Job>> queue_;
  std::vector<std::thread> threads_;
  bool folderMade_ = false;
  bool stopped_ = false;
  std::atomic<bool> cancel_{false};
};

}  // namespace refservice

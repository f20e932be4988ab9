// Renders (and other long, CPU-heavy replies) run on their own bounded pool of threads, never
// on the threads that serve connections: however many renders arrive, SOAP calls, uploads and
// pages keep being answered.
//
// At most `threads` jobs run at once and at most `queue` more wait. A job beyond that is not
// taken: its request is answered at once with 503, a Retry-After header and a line saying the
// service is busy, so no request is ever left without an answer. The pool's threads run at a
// lower scheduling priority than the serving threads, so a queue of renders slows itself down
// before it slows anything else.
//
// Stop (or the destructor) answers the waiting jobs with 503 and waits for the running ones.
// Safe to use from several threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "refservice/http/http_message.h"

namespace refservice {

struct RenderPoolOptions {
  int threads = 2;              // jobs running at once
  int queue = 16;               // jobs waiting at most
  int retryAfterSeconds = 5;    // what a refused request is told
  int niceIncrement = 5;        // the pool's threads run this much nicer (0: as the others)
};

class RenderPool {
 public:
  explicit RenderPool(RenderPoolOptions options = {});
  ~RenderPool();
  RenderPool(const RenderPool&) = delete;
  RenderPool& operator=(const RenderPool&) = delete;

  // Runs `job` on the pool: returns a deferred reply that the job's result fulfils, or, when
  // the pool is full or stopped, the 503 reply. A job that throws is answered with 500.
  HttpResponse Run(std::function<HttpResponse()> job);

  // Jobs running and waiting right now.
  size_t busy();

  // Answers every waiting job with 503, lets the running ones finish, joins the threads.
  void Stop();

  // The reply a request gets when the pool cannot take it.
  static HttpResponse Busy(int retryAfterSeconds);

 private:
  struct Job {
    std::function<HttpResponse()> work;
    std::shared_ptr<DeferredReply> reply;
  };
  void Loop();

  RenderPoolOptions options_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> waiting_;
  int running_ = 0;
  bool stopped_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace refservice

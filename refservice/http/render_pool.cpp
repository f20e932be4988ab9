#include "refservice/http/render_pool.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <string>

namespace refservice {

RenderPool::RenderPool(RenderPoolOptions options) : options_(options) {
  options_.threads = std::max(1, options_.threads);
  options_.queue = std::max(0, options_.queue);
  options_.retryAfterSeconds = std::max(1, options_.retryAfterSeconds);
  for (int i = 0; i < options_.threads; ++i) threads_.emplace_back([this] { Loop(); });
}

RenderPool::~RenderPool() { Stop(); }

HttpResponse RenderPool::Busy(int retryAfterSeconds) {
  HttpResponse reply =
      HttpResponse::Text(503, "the service is busy rendering other documents; try again in " +
                                  std::to_string(retryAfterSeconds) + " s\n");
  reply.headers.emplace_back("Retry-After", std::to_string(retryAfterSeconds));
  return reply;
}

HttpResponse RenderPool::Run(std::function<HttpResponse()> job) {
  auto reply = std::make_shared<DeferredReply>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_ || running_ + waiting_.size() >=
                        static_cast<size_t>(options_.threads + options_.queue)) {
      return Busy(options_.retryAfterSeconds);
    }
    waiting_.push_back(Job{std::move(job), reply});
  }
  wake_.notify_one();
  return HttpResponse::Later(std::move(reply));
}

size_t RenderPool::busy() {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiting_.size() + static_cast<size_t>(running_);
}

void RenderPool::Loop() {
  if (options_.niceIncrement > 0) {
    // Linux schedules threads one by one: this lowers only the calling thread.
    const auto self = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, now + options_.niceIncrement));
  }
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopped_ || !waiting_.empty(); });
      if (waiting_.empty()) return;  // stopped
      job = std::move(waiting_.front());
      waiting_.pop_front();
      ++running_;
    }
    HttpResponse result;
    try {
      result = job.work();
    } catch (const std::exception& failure) {
      result = HttpResponse::Text(500, std::string("the document could not be made: ") +
                                           failure.what() + "\n");
    } catch (...) {
      result = HttpResponse::Text(500, "the document could not be made\n");
    }
    job.work = nullptr;  // what the job holds goes before the reply does
    job.reply->Fulfil(std::move(result));
    std::lock_guard<std::mutex> lock(mutex_);
    --running_;
  }
}

void RenderPool::Stop() {
  std::deque<Job> refused;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_ && threads_.empty()) return;
    stopped_ = true;
    refused.swap(waiting_);
  }
  wake_.notify_all();
  for (Job& job : refused) job.reply->Fulfil(Busy(options_.retryAfterSeconds));
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  threads_.clear();
}

}  // namespace refservice

// Threads a test starts, joined on every way out of the test. A failed ASSERT returns from the
// test body; a std::thread still joinable at that point would end the whole run (and leave the
// processes it started behind). A ThreadGroup first calls its stop function, so that loops
// waiting for the test to finish end, then joins every thread it started.
#pragma once

#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace osltest {

class ThreadGroup {
 public:
  // `stop` (may be empty) is called once before the threads are joined; it must make every
  // thread's work end within a bounded time.
  explicit ThreadGroup(std::function<void()> stop = {}) : stop_(std::move(stop)) {}
  ~ThreadGroup() { JoinAll(); }
  ThreadGroup(const ThreadGroup&) = delete;
  ThreadGroup& operator=(const ThreadGroup&) = delete;

  template <class Function>
  void Start(Function&& function) {
    threads_.emplace_back(std::forward<Function>(function));
  }

  // Calls the stop function (the first time only), then joins every thread started so far.
  void JoinAll() {
    if (stop_) {
      stop_();
      stop_ = nullptr;
    }
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
    threads_.clear();
  }

 private:
  std::function<void()> stop_;
  std::vector<std::thread> threads_;
};

}  // namespace osltest

// Slows down guessing: failed sign-ins are counted per client address, and an address with
// too many of them in a row is refused at once, without its credentials being looked at, for a
// wait that doubles with each failure after it, up to a cap. A successful sign-in from the
// address ends all of that. Nothing ever sleeps: a refused attempt is answered right away, so
// an attacker cannot tie up the service's threads.
//
// Memory is bounded: at most `maxAddresses` addresses are tracked, the one whose last failure
// is oldest is forgotten first. The empty address (a caller whose address is not known) is
// never refused. Safe to use from several threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

namespace refservice {

struct SignInThrottleOptions {
  int maxFailures = 5;                    // failures in a row before the first wait
  std::chrono::seconds window{15 * 60};   // a failure older than this no longer counts
  std::chrono::seconds firstWait{10};     // the first wait; doubles with each failure
  std::chrono::seconds maxWait{15 * 60};  // the longest wait
  size_t maxAddresses = 10000;
};

class SignInThrottle {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SignInThrottle(SignInThrottleOptions options = {});

  // Seconds (rounded up, at least 1) until `address` may try again, or 0 when it may now.
  int64_t RefusedFor(const std::string& address, Clock::time_point now);
  // Records a failed sign-in from `address`.
  void Failed(const std::string& address, Clock::time_point now);
  // Records a successful sign-in from `address`: its failures are forgotten.
  void Succeeded(const std::string& address);
  size_t tracked();

 private:
  struct Entry {
    int failures = 0;
    Clock::time_point lastFailure;
    Clock::time_point refusedUntil;
    Clock::duration nextWait{};
    std::list<std::string>::iterator position;
  };

  SignInThrottleOptions options_;
  std::mutex mutex_;
  std::list<std::string> order_;  // most recent failure first
  std::unordered_map<std::string, Entry> entries_;
};

// The text a refused attempt is answered with.
std::string TooManyFailuresText(int64_t seconds);

}  // namespace refservice

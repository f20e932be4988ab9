// Slows down guessing: failed sign-ins are counted per key (a client address, or an account and
// an address together), and a key with too many of them in a row is refused at once, without
// its credentials being looked at, for a wait that doubles with each failure after it, up to a
// cap. A successful sign-in under the key ends all of that. Nothing ever sleeps: a refused
// attempt is answered right away, so an attacker cannot tie up the service's threads.
//
// Failures count as in a row while each comes within `window` after the previous one, or after
// the end of the wait the previous one earned.
//
// Race-free: Admit reserves one of the attempts a key has left before the first wait, so however
// many attempts arrive at once, no more than `maxFailures` of them are verified before the key
// is refused; each admitted attempt ends with Failed, Succeeded or Release.
//
// Memory is bounded: at most `maxAddresses` keys are tracked, the one whose last failure is
// oldest is forgotten first. The empty key (a caller whose address is not known) is never
// refused. Safe to use from several threads.
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
  // Like RefusedFor, and when it answers 0 the attempt is admitted and counted as in flight
  // until Failed, Succeeded or Release ends it. While the attempts in flight could, by failing,
  // reach `maxFailures`, a further one is refused for 1 s.
  int64_t Admit(const std::string& address, Clock::time_point now);
  // Records a failed sign-in from `address` (ending an admitted attempt, if any).
  void Failed(const std::string& address, Clock::time_point now);
  // Records a successful sign-in from `address`: its failures are forgotten.
  void Succeeded(const std::string& address);
  // Ends an admitted attempt without a verdict (or with one that must not clear the failures).
  void Release(const std::string& address);
  size_t tracked();

 private:
  struct Entry {
    int failures = 0;
    int inFlight = 0;  // admitted attempts not yet ended
    Clock::time_point lastFailure;
    Clock::time_point refusedUntil;
    Clock::duration nextWait{};
    std::list<std::string>::iterator position;
  };

  // Forgets the failures of `entry` when the last one is out of the window at `now`.
  void Expire(Entry& entry, Clock::time_point now) const;
  // The entry of `address`, made (and the stalest dropped) when missing; now the freshest.
  Entry& Touch(const std::string& address);

  SignInThrottleOptions options_;
  std::mutex mutex_;
  std::list<std::string> order_;  // most recent failure first
  std::unordered_map<std::string, Entry> entries_;
};

// The text a refused attempt is answered with.
std::string TooManyFailuresText(int64_t seconds);

}  // namespace refservice

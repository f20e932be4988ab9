#include "refservice/accounts/sign_in_throttle.h"

#include <algorithm>

namespace refservice {

SignInThrottle::SignInThrottle(SignInThrottleOptions options) : options_(options) {
  options_.maxFailures = std::max(1, options_.maxFailures);
  options_.maxAddresses = std::max<size_t>(1, options_.maxAddresses);
}

int64_t SignInThrottle::RefusedFor(const std::string& address, Clock::time_point now) {
  if (address.empty()) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(address);
  if (found == entries_.end() || found->second.refusedUntil <= now) return 0;
  auto left = std::chrono::ceil<std::chrono::seconds>(found->second.refusedUntil - now);
  return std::max<int64_t>(1, left.count());
}

void SignInThrottle::Failed(const std::string& address, Clock::time_point now) {
  if (address.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(address);
  if (found == entries_.end()) {
    while (entries_.size() >= options_.maxAddresses) {
      entries_.erase(order_.back());
      order_.pop_back();
    }
    order_.push_front(address);
    Entry entry;
    entry.nextWait = options_.firstWait;
    entry.position = order_.begin();
    found = entries_.emplace(address, entry).first;
  } else {
    order_.splice(order_.begin(), order_, found->second.position);
  }
  Entry& entry = found->second;
  // Failures count as in a row while each comes within the window after the previous one (or
  // after the end of the wait it earned).
  if (entry.failures > 0 &&
      now - std::max(entry.lastFailure, entry.refusedUntil) > options_.window) {
    entry.failures = 0;
    entry.nextWait = options_.firstWait;
  }
  ++entry.failures;
  entry.lastFailure = now;
  if (entry.failures >= options_.maxFailures) {
    entry.refusedUntil = now + entry.nextWait;
    entry.nextWait = std::min<Clock::duration>(entry.nextWait * 2, options_.maxWait);
  }
}

void SignInThrottle::Succeeded(const std::string& address) {
  if (address.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(address);
  if (found == entries_.end()) return;
  order_.erase(found->second.position);
  entries_.erase(found);
}

size_t SignInThrottle::tracked() {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

std::string TooManyFailuresText(int64_t seconds) {
  return "too many failed sign-ins from this address; try again in " + std::to_string(seconds) +
         " s";
}

}  // namespace refservice

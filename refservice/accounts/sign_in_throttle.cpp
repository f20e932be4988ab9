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

void SignInThrottle::Expire(Entry& entry, Clock::time_point now) const {
  if (entry.failures > 0 &&
      now - std::max(entry.lastFailure, entry.refusedUntil) > options_.window) {
    entry.failures = 0;
    entry.nextWait = options_.firstWait;
  }
}

SignInThrottle::Entry& SignInThrottle::Touch(const std::string& address) {
  auto found = entries_.find(address);
  if (found != entries_.end()) {
    order_.splice(order_.begin(), order_, found->second.position);
    return found->second;
  }
  while (entries_.size() >= options_.maxAddresses) {
    entries_.erase(order_.back());
    order_.pop_back();
  }
  order_.push_front(address);
  Entry entry;
  entry.nextWait = options_.firstWait;
  entry.position = order_.begin();
  return entries_.emplace(address, entry).first->second;
}

int64_t SignInThrottle::Admit(const std::string& address, Clock::time_point now) {
  if (address.empty()) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = Touch(address);
  if (entry.refusedUntil > now) {
    auto left = std::chrono::ceil<std::chrono::seconds>(entry.refusedUntil - now);
    return std::max<int64_t>(1, left.count());
  }
  Expire(entry, now);
  if (entry.failures + entry.inFlight >= options_.maxFailures) return 1;
  ++entry.inFlight;
  return 0;
}

void SignInThrottle::Failed(const std::string& address, Clock::time_point now) {
  if (address.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = Touch(address);
  if (entry.inFlight > 0) --entry.inFlight;
  Expire(entry, now);
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
  if (found->second.inFlight > 1) {
    // Other attempts are still being verified: they keep their places, the failures go.
    --found->second.inFlight;
    found->second.failures = 0;
    found->second.refusedUntil = Clock::time_point();
    found->second.nextWait = options_.firstWait;
    return;
  }
  order_.erase(found->second.position);
  entries_.erase(found);
}

void SignInThrottle::Release(const std::string& address) {
  if (address.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(address);
  if (found == entries_.end()) return;
  Entry& entry = found->second;
  if (entry.inFlight > 0) --entry.inFlight;
  if (entry.inFlight == 0 && entry.failures == 0) {
    order_.erase(entry.position);
    entries_.erase(found);
  }
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

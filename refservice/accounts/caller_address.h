// The network address of the client whose request the current thread is serving, for the
// sign-in throttle. The HTTP layer sets it around the work of one request (the SOAP operations
// run on the thread that received the request, below layers that do not carry addresses).
#pragma once

#include <string>

namespace refservice {

// Sets the current thread's caller address for the lifetime of the object, then restores the
// previous one.
class CallerAddressScope {
 public:
  explicit CallerAddressScope(std::string address);
  ~CallerAddressScope();
  CallerAddressScope(const CallerAddressScope&) = delete;
  CallerAddressScope& operator=(const CallerAddressScope&) = delete;

 private:
  std::string previous_;
};

// The current thread's caller address; empty outside any scope.
const std::string& CallerAddress();

}  // namespace refservice

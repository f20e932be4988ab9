// Deliberate failures for testing clients: "--fault OPERATION:KIND[:COUNT]".
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace refservice {

enum class FaultKind {
  kSoapFault,  // a SOAP Fault (HTTP 500) instead of the answer; nothing is changed
  kHttp503,    // "503 Service Unavailable" with a short text body; nothing is changed
  kDelay,      // the request is handled normally, but the answer is held back for a while
  kGarbage,    // "200 OK" with a body that is not XML; nothing is changed
  kClose,      // the connection is closed without any answer; nothing is changed
  kZeroId,     // setTemplate only: answers the zero GUID as identifier and password; nothing is
               // changed
  kCrash,      // upload only: the service kills itself (SIGKILL) once the file is at its address
               // and before it is recorded, as a crash at the worst moment would
};

struct FaultSpec {
  std::string operation;  // one of the eight operation names, or "upload"
  FaultKind kind = FaultKind::kSoapFault;
  std::optional<int> count;  // how many requests it hits; always when absent
};

// The operations that faults can target, in a fixed order (eight SOAP operations, then "upload").
const std::vector<std::string>& FaultOperations();

// Parses "OPERATION:KIND[:COUNT]" with KIND one of soap-fault, http-503, delay, garbage, close,
// zero-id, crash and COUNT a positive number. Returns false with `error` set when the text is
// malformed, names an unknown operation or kind, or uses zero-id with another operation than
// setTemplate or crash with another than upload.
bool ParseFaultSpec(const std::string& text, FaultSpec* spec, std::string* error);

const char* FaultKindName(FaultKind kind);

// Decides which requests fail. Thread-safe.
class FaultInjector {
 public:
  void Add(const FaultSpec& spec);
  // The fault for the next request of `operation`, if any; uses up one count of the first spec
  // of that operation that still has counts left (specs apply in the order they were added).
  std::optional<FaultKind> Next(std::string_view operation);
  bool empty() const { return specs_.empty(); }

 private:
  std::mutex mutex_;
  std::vector<FaultSpec> specs_;
};

}  // namespace refservice

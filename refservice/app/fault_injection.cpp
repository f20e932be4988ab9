#include "refservice/app/fault_injection.h"

#include <algorithm>

namespace refservice {
namespace {

struct KindName {
  FaultKind kind;
  const char* name;
};

constexpr KindName kKinds[] = {
    {FaultKind::kSoapFault, "soap-fault"}, {FaultKind::kHttp503, "http-503"},
    {FaultKind::kDelay, "delay"},          {FaultKind::kGarbage, "garbage"},
    {FaultKind::kClose, "close"},          {FaultKind::kZeroId, "zero-id"},
    {FaultKind::kCrash, "crash"},
};

}  // namespace

const std::vector<std::string>& FaultOperations() {
  static const std::vector<std::string> kOperations = {
      "getLibraryTemplates", "setTemplate", "getFields",      "setFields", "getLogicGroups",
      "setLogicGroups",      "setAssets",   "commitTemplate", "upload"};
  return kOperations;
}

const char* FaultKindName(FaultKind kind) {
  for (const KindName& entry : kKinds) {
    if (entry.kind == kind) return entry.name;
  }
  return "unknown";
}

bool ParseFaultSpec(const std::string& text, FaultSpec* spec, std::string* error) {
  size_t first = text.find(':');
  if (first == std::string::npos) {
    *error = "expected OPERATION:KIND[:COUNT], got \"" + text + "\"";
    return false;
  }
  size_t second = text.find(':', first + 1);
  std::string operation = text.substr(0, first);
  std::string kind =
      text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  const auto& operations = FaultOperations();
  if (std::find(operations.begin(), operations.end(), operation) == operations.end()) {
    *error = "unknown operation \"" + operation + "\" in --fault " + text;
    return false;
  }
  const KindName* found = nullptr;
  for (const KindName& entry : kKinds) {
    if (kind == entry.name) found = &entry;
  }
  if (found == nullptr) {
    *error = "unknown fault kind \"" + kind +
             "\" (use soap-fault, http-503, delay, garbage, close, zero-id or crash)";
    return false;
  }
  if (found->kind == FaultKind::kZeroId && operation != "setTemplate") {
    *error = "zero-id applies to setTemplate only";
    return false;
  }
  if (found->kind == FaultKind::kCrash && operation != "upload") {
    *error = "crash applies to upload only";
    return false;
  }
  spec->operation = operation;
  spec->kind = found->kind;
  spec->count.reset();
  if (second != std::string::npos) {
    std::string count = text.substr(second + 1);
    if (count.empty() || count.size() > 9 ||
        !std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(count) == 0) {
      *error = "COUNT must be a positive number in --fault " + text;
      return false;
    }
    spec->count = std::stoi(count);
  }
  return true;
}

void FaultInjector::Add(const FaultSpec& spec) {
  std::lock_guard<std::mutex> lock(mutex_);
  specs_.push_back(spec);
}

std::optional<FaultKind> FaultInjector::Next(std::string_view operation) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (FaultSpec& spec : specs_) {
    if (spec.operation != operation) continue;
    if (!spec.count) return spec.kind;
    if (*spec.count > 0) {
      --*spec.count;
      return spec.kind;
    }
  }
  return std::nullopt;
}

}  // namespace refservice

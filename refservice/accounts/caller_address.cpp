#include "refservice/accounts/caller_address.h"

#include <utility>

namespace refservice {
namespace {

thread_local std::string current;

}  // namespace

CallerAddressScope::CallerAddressScope(std::string address) : previous_(std::move(current)) {
  current = std::move(address);
}

CallerAddressScope::~CallerAddressScope() { current = std::move(previous_); }

const std::string& CallerAddress() { return current; }

}  // namespace refservice

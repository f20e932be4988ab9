#include "plugin_base/entry_guard.h"

#include <exception>
#include <string>

#include "host/CAlert.h"

namespace osl {

namespace {

// What the exception being handled says of itself.
std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "an unknown error";
  }
}

}  // namespace

void ReportEntryFailure(const char* entry) noexcept {
  try {
    const std::string message =
        "An internal error stopped " + std::string(entry) + ": " + CurrentExceptionText();
    CAlert::ErrorAlert(PMString(message, PMString::kDontTranslateDuringCall));
  } catch (...) {
    // The alert itself failed (no memory left): the host still gets its answer.
  }
}

}  // namespace osl

#include "plugin_base/entry_guard.h"

#include <exception>
#include <string>

#include "host/CAlert.h"

namespace osl {

void ReportEntryFailure(const char* entry) noexcept {
  try {
    std::string reason = "an unknown error";
    try {
      throw;
    } catch (const std::exception& e) {
      reason = e.what();
    } catch (...) {
    }
    CAlert::ErrorAlert(PMString("An internal error stopped " + std::string(entry) + ": " + reason,
                                PMString::kDontTranslateDuringCall));
  } catch (...) {
    // The alert itself failed (no memory left): the host still gets its answer.
  }
}

}  // namespace osl

// The guard around every entry point the host calls into the plug-in (menu
// actions and their states, observers' updates, dialog callbacks, key
// events). The host is not ours: an exception that left the plug-in would
// unwind through host frames, which promise nothing about it. So each entry
// runs its work inside GuardedEntry, which catches anything thrown, shows it
// as one error alert through the host (CAlert) and hands the host a safe
// answer instead. Nothing here throws.
#pragma once

namespace osl {

// Shows the exception being handled as one error alert that names `entry`
// (what the host asked for, such as "the menu action"). Call it only inside
// a catch block. Never throws; when even the alert fails, nothing is shown.
void ReportEntryFailure(const char* entry) noexcept;

// Runs `body()` for entry point `entry` and returns its result; when it
// throws, reports it (ReportEntryFailure) and returns `onThrow`.
template <class Result, class Body>
Result GuardedEntry(const char* entry, Result onThrow, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    ReportEntryFailure(entry);
    return onThrow;
  }
}

// The same for an entry point that answers nothing.
template <class Body>
void GuardedEntry(const char* entry, Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    ReportEntryFailure(entry);
  }
}

}  // namespace osl

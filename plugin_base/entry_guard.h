// The guard around every entry point the host calls into the plug-in (menu
// actions and their states, observers, dialog callbacks, key events, script
// calls). An exception must not unwind through the host's frames, so each
// entry runs its work in GuardedEntry: anything thrown is caught, shown as
// one error alert (CAlert) naming the entry, and the host gets a safe answer.
#pragma once

namespace osl {

// Shows the exception being handled as one error alert naming `entry`. Call
// only inside a catch block. Never throws (a failing alert shows nothing).
void ReportEntryFailure(const char* entry) noexcept;

// Returns `body()`; when it throws, reports it and returns `onThrow`.
template <class Result, class Body>
Result GuardedEntry(const char* entry, Result onThrow, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    ReportEntryFailure(entry);
    return onThrow;
  }
}

// Runs `body()`; when it throws, reports it.
template <class Body>
void GuardedEntry(const char* entry, Body&& body) noexcept {
  GuardedEntry(entry, 0, [&body] {
    body();
    return 0;
  });
}

}  // namespace osl

// Ctrl-C (SIGINT) while `osl` runs: the command ends at once with status
// 130, after one line on stderr that starts "osl: cancelled" and says what
// the interruption may have left behind (set by the command as it goes: a
// publish names what the service may now hold). Nothing is saved: a
// document on disk keeps its last saved content.
#pragma once

#include <string>

namespace osl_cli {

constexpr int kExitInterrupted = 130;

// Installs the handler (once per process).
void InstallInterruptHandler();

// What the cancel line says after "osl: cancelled" (UTF-8, no line break;
// it is cut to 1,000 bytes). Empty: nothing more.
void SetInterruptNote(const std::string& note);

// The whole line the handler would print now, for tests.
std::string InterruptLine();

}  // namespace osl_cli

// Whether stderr holds a line that is not ended yet: a progress bar drawn
// in place on a terminal leaves its line open, and whatever is printed
// next (an alert, a question, a message) must start on a line of its own.
// Process-wide, like stderr itself; safe to read from a signal handler.
#pragma once

namespace standin {

// The progress bar drew a line without ending it.
void MarkStderrLineOpen();
// The open line was ended (or overwritten and ended) by its owner.
void MarkStderrLineClosed();
// True while a line is open.
bool StderrLineOpen();
// Ends an open line with "\n" so that what follows starts on its own line;
// does nothing when no line is open. Async-signal-safe.
void EndStderrLine();

}  // namespace standin

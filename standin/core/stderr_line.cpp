#include "standin/core/stderr_line.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace standin {

namespace {
std::atomic<bool> gLineOpen{false};
}  // namespace

void MarkStderrLineOpen() { gLineOpen.store(true); }

void MarkStderrLineClosed() { gLineOpen.store(false); }

bool StderrLineOpen() { return gLineOpen.load(); }

void EndStderrLine() {
  if (!gLineOpen.exchange(false)) return;
  // Straight to the descriptor: stdio buffers are not safe in a signal
  // handler, and stderr is unbuffered anyway.
  const ssize_t written = write(STDERR_FILENO, "\n", 1);
  (void)written;
}

}  // namespace standin

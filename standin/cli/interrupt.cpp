#include "standin/cli/interrupt.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

#include "standin/core/stderr_line.h"

namespace osl_cli {

namespace {

constexpr size_t kNoteLimit = 1000;
constexpr char kCancelled[] = "osl: cancelled";

// Two buffers: a note is written into the one the handler does not read,
// then published by switching the index, so the handler never sees half a
// note.
char gNotes[2][kNoteLimit + 1];
std::atomic<int> gCurrent{0};

void WriteAll(const char* text, size_t size) {
  while (size > 0) {
    const ssize_t n = write(STDERR_FILENO, text, size);
    if (n <= 0) return;
    text += n;
    size -= static_cast<size_t>(n);
  }
}

void OnInterrupt(int) {
  standin::EndStderrLine();
  const char* note = gNotes[gCurrent.load()];
  WriteAll(kCancelled, sizeof kCancelled - 1);
  WriteAll(note, std::strlen(note));
  WriteAll("\n", 1);
  _exit(kExitInterrupted);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

void SetInterruptNote(const std::string& note) {
  const int next = 1 - gCurrent.load();
  const size_t size = note.size() < kNoteLimit ? note.size() : kNoteLimit;
  std::memcpy(gNotes[next], note.data(), size);
  gNotes[next][size] = '\0';
  gCurrent.store(next);
}

std::string InterruptLine() { return std::string(kCancelled) + gNotes[gCurrent.load()]; }

}  // namespace osl_cli

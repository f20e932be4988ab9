// The progress bar on a headless host: redrawn in place on a terminal (the
// line stays open until the bar ends or something else is printed), one
// plain line per step otherwise.
//
// A step is a position and its task text; a plug-in sets them one after the
// other. Off a terminal a line is printed when the task text is set, and a
// position change that no task text followed is printed when the next
// position change or the end of the bar comes, so every step shows once.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "host/RangeProgressBar.h"
#include "standin/core/stderr_line.h"
#include "standin/core/terminal_text.h"

namespace {
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }
}  // namespace

RangeProgressBar::RangeProgressBar(const PMString& title, int32 min, int32 max, bool16)
    : min_(min), max_(std::max(min, max)), position_(min) {
  PMString shown = title;
  shown.Translate();
  title_ = standin::EscapeForTerminal(shown.GetUTF8String());
  if (StderrIsTerminal()) Draw();
}

RangeProgressBar::~RangeProgressBar() {
  if (StderrIsTerminal()) {
    standin::EndStderrLine();
  } else if (unprinted_) {
    Draw();
  }
}

void RangeProgressBar::SetTaskText(const PMString& text) {
  PMString shown = text;
  shown.Translate();
  task_ = standin::EscapeForTerminal(shown.GetUTF8String());
  Draw();
}

void RangeProgressBar::SetPosition(int32 position) {
  position = std::clamp(position, min_, max_);
  if (StderrIsTerminal()) {
    position_ = position;
    Draw();
    return;
  }
  if (unprinted_ && position != position_) Draw();
  unprinted_ = unprinted_ || position != position_;
  position_ = position;
}

void RangeProgressBar::Draw() {
  const int32 span = max_ - min_;
  const int32 done = position_ - min_;
  if (StderrIsTerminal()) {
    constexpr int kWidth = 24;
    const int filled = span > 0 ? static_cast<int>(static_cast<int64>(done) * kWidth / span) : 0;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r\033[K%s [%s] %d/%d %s", title_.c_str(), bar.c_str(), done, span,
                 task_.c_str());
    std::fflush(stderr);
    standin::MarkStderrLineOpen();
  } else {
    std::fprintf(stderr, "[progress] %s %d/%d %s\n", title_.c_str(), done, span, task_.c_str());
    unprinted_ = false;
  }
}

#include "standin/alerts/alert_center.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "standin/core/stderr_line.h"
#include "standin/core/terminal_text.h"

namespace standin {

const char* AlertKindName(AlertKind kind) {
  switch (kind) {
    case AlertKind::kError:
      return "error";
    case AlertKind::kWarning:
      return "warning";
    case AlertKind::kInfo:
      return "info";
    case AlertKind::kAsk:
      return "ask";
  }
  return "info";
}

namespace {

// "yes" = 1, "no" = 2, "cancel" = 3, a caption or number = that button; 0
// when unknown.
int ParseAnswer(const std::string& answer, const std::vector<std::string>& buttons) {
  if (answer == "yes" || answer == "y") return 1;
  if (answer == "no" || answer == "n") return 2;
  if (answer == "cancel") return 3;
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (!buttons[i].empty() && answer == buttons[i]) return static_cast<int>(i) + 1;
  }
  char* end = nullptr;
  const long n = std::strtol(answer.c_str(), &end, 10);
  if (end != answer.c_str() && *end == '\0' && n >= 1 && n <= static_cast<long>(buttons.size()))
    return static_cast<int>(n);
  return 0;
}

}  // namespace

std::string FormatAlert(AlertKind kind, const std::string& text) {
  const std::string prefix = std::string("[") + AlertKindName(kind) + "] ";
  const std::string indent(prefix.size(), ' ');
  return prefix + EscapeForTerminal(text, indent.c_str()) + "\n";
}

void AlertCenter::SetAnswers(const std::vector<std::string>& answers) {
  answers_.assign(answers.begin(), answers.end());
}

std::vector<AlertRecord> AlertCenter::TakeLog() {
  std::vector<AlertRecord> taken;
  taken.swap(log_);
  return taken;
}

int AlertCenter::AskTerminal(const std::vector<std::string>& buttons, int defaultButton) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::cerr << "  answer";
    for (size_t i = 0; i < buttons.size(); ++i) {
      if (buttons[i].empty()) continue;
      std::cerr << " [" << (i + 1) << "] " << buttons[i];
    }
    std::cerr << " (default " << defaultButton << "): " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return defaultButton;
    if (line.empty()) return defaultButton;
    const int answer = ParseAnswer(line, buttons);
    if (answer >= 1) return answer;
  }
  return defaultButton;
}

int AlertCenter::Show(AlertKind kind, const std::string& text,
                      const std::vector<std::string>& buttons, int defaultButton) {
  int buttonCount = 0;
  for (const auto& b : buttons) {
    if (!b.empty()) ++buttonCount;
  }
  if (defaultButton < 1 || defaultButton > static_cast<int>(buttons.size())) defaultButton = 1;
  if (echo_) {
    EndStderrLine();
    std::cerr << FormatAlert(kind, text) << std::flush;
  }
  int answer = 1;
  if (kind == AlertKind::kAsk && buttonCount > 1) {
    answer = defaultButton;
    if (!answers_.empty()) {
      const std::string scripted = answers_.front();
      answers_.pop_front();
      const int parsed = ParseAnswer(scripted, buttons);
      answer = parsed >= 1 ? parsed : defaultButton;
    } else if (interactive_ && isatty(STDIN_FILENO)) {
      answer = AskTerminal(buttons, defaultButton);
    } else if (unanswered_) {
      unanswered_(text, buttons);
    }
  }
  if (kind == AlertKind::kError) ++errors_;
  log_.push_back(AlertRecord{kind, text, answer});
  return answer;
}

}  // namespace standin

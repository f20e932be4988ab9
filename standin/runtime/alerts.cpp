// Alerts on a headless host: one stderr line each, answers from a script,
// the terminal or the default button.
#include "standin/runtime/alerts.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "host/CAlert.h"

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

AlertCenter& AlertCenter::Get() {
  static AlertCenter center;
  return center;
}

void AlertCenter::SetAnswers(const std::vector<std::string>& answers) {
  answers_.assign(answers.begin(), answers.end());
}

void AlertCenter::Reset() {
  answers_.clear();
  log_.clear();
  errors_ = 0;
}

std::vector<AlertRecord> AlertCenter::TakeLog() {
  std::vector<AlertRecord> taken;
  taken.swap(log_);
  return taken;
}

namespace {

// "yes" = 1, "no" = 2, "cancel" = 3, a number = that button; 0 when unknown.
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

std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    if (c == '\n') {
      line += "\\n";
    } else if (c == '\t') {
      line += "\\t";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      line += c;
    }
  }
  return line;
}

}  // namespace

int AlertCenter::AskTerminal(const std::string& text, const std::vector<std::string>& buttons,
                             int defaultButton) {
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
    std::cerr << "[" << AlertKindName(kind) << "] " << OneLine(text) << std::endl;
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
      answer = AskTerminal(text, buttons, defaultButton);
    }
  }
  if (kind == AlertKind::kError) ++errors_;
  log_.push_back(AlertRecord{kind, text, answer});
  return answer;
}

}  // namespace standin

namespace {

std::string Shown(const PMString& message) {
  PMString copy = message;
  copy.Translate();
  return copy.GetUTF8String();
}

}  // namespace

void CAlert::ErrorAlert(const PMString& message) {
  standin::AlertCenter::Get().Show(standin::AlertKind::kError, Shown(message), {"OK"}, 1);
}

void CAlert::WarningAlert(const PMString& message) {
  standin::AlertCenter::Get().Show(standin::AlertKind::kWarning, Shown(message), {"OK"}, 1);
}

void CAlert::InformationAlert(const PMString& message) {
  standin::AlertCenter::Get().Show(standin::AlertKind::kInfo, Shown(message), {"OK"}, 1);
}

int16 CAlert::ModalAlert(const PMString& message, const PMString& button1, const PMString& button2,
                         const PMString& button3, int16 defaultButton, int16 iconCode) {
  std::vector<std::string> buttons{Shown(button1), Shown(button2), Shown(button3)};
  while (!buttons.empty() && buttons.back().empty()) buttons.pop_back();
  if (buttons.empty()) buttons.push_back("OK");
  const auto kind = buttons.size() > 1 ? standin::AlertKind::kAsk : standin::AlertKind::kInfo;
  return static_cast<int16>(
      standin::AlertCenter::Get().Show(kind, Shown(message), buttons, defaultButton));
}

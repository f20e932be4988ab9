// Alerts of the stand-in host. Every alert is printed on stderr as the user
// reads it: "[error|warning|info|ask] " and the first line of its text, each
// further line indented under it; control characters are shown escaped so
// that no text can move the cursor or change the terminal. Modal questions
// are answered from the scripted answers, else on the terminal when the host
// is interactive and stdin is a terminal, else by the unanswered-question
// handler when one is set (a command line stops there rather than let a
// default button decide for nobody), else with the default button. An
// alert printed while a progress bar holds the terminal's line starts on a
// line of its own.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace standin {

enum class AlertKind { kError, kWarning, kInfo, kAsk };

struct AlertRecord {
  AlertKind kind;
  std::string text;  // the text as shown (after translation), UTF-8
  int answer;        // the 1-based button pressed (1 for one-button alerts)
};

// "error", "warning", "info" or "ask".
const char* AlertKindName(AlertKind kind);

// The alert as printed: the "[kind] " line, continuation lines indented,
// control characters escaped, ending with a line feed.
std::string FormatAlert(AlertKind kind, const std::string& text);

// What shows alerts and answers questions.
class Alerts {
 public:
  virtual ~Alerts() = default;
  // Shows an alert with `buttons` (captions; empty ones are absent) and
  // returns the 1-based button pressed. `defaultButton` outside the buttons
  // counts as 1.
  virtual int Show(AlertKind kind, const std::string& text, const std::vector<std::string>& buttons,
                   int defaultButton) = 0;
};

// The host's own alerts: printed, answered and kept in a log that tests and
// the command line's exit status read.
class AlertCenter : public Alerts {
 public:
  // Scripted answers for modal questions, used in order: "yes" = 1, "no" = 2,
  // "cancel" = 3, a caption or a number = that button. When they run out,
  // the default button is used (or the terminal asked, when interactive).
  void SetAnswers(const std::vector<std::string>& answers);
  // When false (the default), never asks on the terminal.
  void SetInteractive(bool interactive) { interactive_ = interactive; }
  // When false, alerts are logged but not printed.
  void SetEcho(bool echo) { echo_ = echo; }
  // Called for a question that no scripted answer and no person can
  // answer, with its text and buttons, before any button is chosen. It may
  // end the process; when it returns, the default button is the answer.
  using UnansweredQuestion =
      std::function<void(const std::string& text, const std::vector<std::string>& buttons)>;
  void SetUnansweredQuestionHandler(UnansweredQuestion handler) {
    unanswered_ = std::move(handler);
  }

  int Show(AlertKind kind, const std::string& text, const std::vector<std::string>& buttons,
           int defaultButton) override;

  const std::vector<AlertRecord>& Log() const { return log_; }
  // Returns the alerts shown so far and empties the log.
  std::vector<AlertRecord> TakeLog();
  // Error alerts shown since the host started.
  int ErrorCount() const { return errors_; }

 private:
  int AskTerminal(const std::vector<std::string>& buttons, int defaultButton);

  std::deque<std::string> answers_;
  std::vector<AlertRecord> log_;
  int errors_ = 0;
  bool interactive_ = false;
  bool echo_ = true;
  UnansweredQuestion unanswered_;
};

// Forwards to `target`; a test derives from it and overrides Show to answer
// a question its own way or to watch the alerts.
class AlertsWrapper : public Alerts {
 public:
  explicit AlertsWrapper(Alerts* target) : target_(target) {}
  Alerts* target() const { return target_; }
  int Show(AlertKind kind, const std::string& text, const std::vector<std::string>& buttons,
           int defaultButton) override {
    return target_->Show(kind, text, buttons, defaultButton);
  }

 private:
  Alerts* target_;
};

}  // namespace standin

// How the stand-in shows alerts: every alert is one line on stderr,
// "[error|warning|info|ask] text", and is kept in a log that tests (and the
// command line's exit status) read. Modal questions are answered from the
// scripted answers, else on the terminal when stdin is a TTY, else with the
// default button.
#pragma once

#include <deque>
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

class AlertCenter {
 public:
  static AlertCenter& Get();

  // Scripted answers for modal questions, used in order: "yes" = 1, "no" = 2,
  // a number = that button. When they run out, the default button is used
  // (or the terminal asked, when interactive).
  void SetAnswers(const std::vector<std::string>& answers);
  // When false (the default in tests), never asks on the terminal.
  void SetInteractive(bool interactive) { interactive_ = interactive; }
  // When false, alerts are logged but not printed to stderr.
  void SetEcho(bool echo) { echo_ = echo; }

  // Shows an alert and returns the 1-based button pressed.
  int Show(AlertKind kind, const std::string& text, const std::vector<std::string>& buttons,
           int defaultButton);

  const std::vector<AlertRecord>& Log() const { return log_; }
  // Returns the alerts shown so far and empties the log.
  std::vector<AlertRecord> TakeLog();
  int ErrorCount() const { return errors_; }
  void Reset();

 private:
  int AskTerminal(const std::string& text, const std::vector<std::string>& buttons,
                  int defaultButton);

  std::deque<std::string> answers_;
  std::vector<AlertRecord> log_;
  int errors_ = 0;
  bool interactive_ = false;
  bool echo_ = true;
};

}  // namespace standin

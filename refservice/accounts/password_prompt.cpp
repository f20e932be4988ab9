#include "refservice/accounts/password_prompt.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace refservice {
namespace {

struct termios savedTerminal;
volatile sig_atomic_t echoOff = 0;

void RestoreEchoAndDie(int signalNumber) {
  if (echoOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

// Reads one line from `fd` (at most kMaxPasswordBytes + 1 bytes are kept). False when nothing
// at all could be read.
bool ReadLine(int fd, std::string* line, bool* tooLong) {
  line->clear();
  *tooLong = false;
  bool any = false;
  char c = 0;
  while (true) {
    ssize_t got = ::read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    any = true;
    if (c == '\n') break;
    if (line->size() > kMaxPasswordBytes) {
      *tooLong = true;
      continue;  // read to the line's end, keep nothing more
    }
    line->push_back(c);
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  if (line->size() > kMaxPasswordBytes) *tooLong = true;
  return any;
}

void Say(const std::string& text) {
  ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
  (void)ignored;
}

// Asks `count` (1 or 2) prompts on the terminal with echo off for all of them; the prompts are
// written only once echo is off, so nothing typed after a prompt is ever shown.
bool AskWithoutEcho(const std::string& prompt, int count, std::string answers[2], bool tooLong[2]) {
  struct termios quiet;
  if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return false;
  quiet = savedTerminal;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  quiet.c_lflag |= ECHONL;
  struct sigaction restore {
  }, oldInt{}, oldTerm{};
  restore.sa_handler = RestoreEchoAndDie;
  sigemptyset(&restore.sa_mask);
  sigaction(SIGINT, &restore, &oldInt);
  sigaction(SIGTERM, &restore, &oldTerm);
  echoOff = 1;
  bool ok = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  for (int i = 0; ok && i < count; ++i) {
    Say(i == 0 ? prompt : std::string("Repeat: "));
    ok = ReadLine(STDIN_FILENO, &answers[i], &tooLong[i]);
    if (answers[i].empty() || tooLong[i]) break;  // no use asking again
  }
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
  echoOff = 0;
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  return ok;
}

}  // namespace

bool ReadNewPassword(const std::string& prompt, bool confirm, std::string* password,
                     std::string* error) {
  password->clear();
  bool tooLong = false;
  const std::string longText =
      "the password is longer than " + std::to_string(kMaxPasswordBytes) + " bytes";
  if (!::isatty(STDIN_FILENO)) {
    if (!ReadLine(STDIN_FILENO, password, &tooLong)) {
      *error = "no password on standard input (give it as its first line)";
      return false;
    }
  } else {
    std::string answers[2];
    bool longAnswers[2] = {false, false};
    bool ok = AskWithoutEcho(prompt, confirm ? 2 : 1, answers, longAnswers);
    *password = answers[0];
    tooLong = longAnswers[0];
    bool differ = confirm && !tooLong && !password->empty() && answers[1] != answers[0];
    answers[0].assign(answers[0].size(), '\0');
    answers[1].assign(answers[1].size(), '\0');
    if (!ok) {
      password->clear();
      *error = "no password was entered";
      return false;
    }
    if (differ) {
      password->clear();
      *error = "the two passwords differ; nothing was changed";
      return false;
    }
  }
  if (tooLong) {
    password->clear();
    *error = longText;
    return false;
  }
  if (password->empty()) {
    *error = "an empty password is not accepted";
    return false;
  }
  if (password->find('\0') != std::string::npos) {
    // No sign-in form or header can carry it, and C strings would cut it short.
    password->assign(password->size(), '\0');
    password->clear();
    *error = "the password holds a NUL byte, which no sign-in can send";
    return false;
  }
  return true;
}

}  // namespace refservice

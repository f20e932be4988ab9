// What a person sees of `osl publish`: the one line that ends it, the
// progress lines, the questions nobody can answer, Ctrl-C, and the whole
// screen of a run in a real terminal (a pseudo-terminal this test opens).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_support.h"

namespace osltest {
namespace {

// ---- a pseudo-terminal ---------------------------------------------------------------

// A program run on a pseudo-terminal as its stdin, stdout and stderr, as in
// a terminal window of 120 columns. Answers are typed when the screen shows
// their prompt. The child is killed if it outlives the object.
class PtyRun {
 public:
  struct Reply {
    std::string when;  // typed once the output holds this text
    std::string type;
  };

  ~PtyRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  // Runs `argv` with `env` added; returns the exit status, -1 when killed
  // or timed out (*timedOut set).
  int Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          std::vector<Reply> replies, int timeoutMs, bool* timedOut) {
    *timedOut = false;
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return -1;
    const std::string slave = ptsname(master_);
    struct winsize size {};
    size.ws_row = 40;
    size.ws_col = 120;
    pid_ = fork();
    if (pid_ < 0) return -1;
    if (pid_ == 0) {
      setsid();
      const int fd = open(slave.c_str(), O_RDWR);
      if (fd < 0) _exit(127);
      ioctl(fd, TIOCSCTTY, 0);
      ioctl(fd, TIOCSWINSZ, &size);
      dup2(fd, 0);
      dup2(fd, 1);
      dup2(fd, 2);
      if (fd > 2) close(fd);
      for (const std::string& entry : env) putenv(const_cast<char*>(entry.c_str()));
      std::vector<char*> args;
      for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t replied = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd poller{master_, POLLIN, 0};
      if (poll(&poller, 1, 100) > 0) {
        char buffer[4096];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO: every holder of the terminal is gone
        output_.append(buffer, static_cast<size_t>(n));
      }
      if (replied < replies.size() && output_.find(replies[replied].when) != std::string::npos) {
        const std::string& text = replies[replied].type;
        if (write(master_, text.data(), text.size()) < 0) break;
        ++replied;
      }
    }
    int status = 0;
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    *timedOut = true;
    return -1;
  }

  const std::string& output() const { return output_; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  std::string output_;
};

// The lines a terminal shows for `output`: carriage returns go back to the
// line's start, "ESC [ K" clears the rest of the line, other escape
// sequences change nothing that is read here.
std::vector<std::string> Screen(const std::string& output) {
  std::vector<std::string> lines(1);
  size_t column = 0;
  for (size_t i = 0; i < output.size(); ++i) {
    const char c = output[i];
    std::string& line = lines.back();
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      lines.emplace_back();
      column = 0;
    } else if (c == '\033' && i + 1 < output.size() && output[i + 1] == '[') {
      size_t end = i + 2;
      while (end < output.size() && !(output[end] >= '@' && output[end] <= '~')) ++end;
      if (end < output.size() && output[end] == 'K') line.resize(std::min(line.size(), column));
      i = end;
    } else {
      if (column < line.size()) {
        line[column] = c;
      } else {
        line.resize(column, ' ');
        line.push_back(c);
      }
      ++column;
    }
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// `lines` with every template identifier and the service's port masked.
std::string Masked(const std::vector<std::string>& lines, const std::string& baseUrl) {
  static const std::regex kGuid(
      "[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-"
      "[0-9a-fA-F]{12}");
  std::string text;
  for (const std::string& line : lines) {
    std::string masked = std::regex_replace(line, kGuid, "<id>");
    for (size_t at; (at = masked.find(baseUrl)) != std::string::npos;) {
      masked.replace(at, baseUrl.size(), "<server>");
    }
    text += masked + "\n";
  }
  return text;
}

// ---- the tests --------------------------------------------------------------------

class PublishTerminal : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& serviceArgs = {}) {
    std::string error;
    ASSERT_TRUE(world_.Start(serviceArgs, &error)) << error;
    query_ = std::make_unique<ServiceQuery>(world_.service().baseUrl());
  }
  RunResult Publish(const std::string& doc, std::vector<std::string> args = {},
                    std::vector<std::string> before = {"--yes"}) {
    std::vector<std::string> all = before;
    all.push_back("publish");
    all.push_back(doc);
    all.insert(all.end(), args.begin(), args.end());
    return world_.Osl(all);
  }
  // A document of the example's content and template name, never published.
  std::string Unpublished(const std::string& from, const std::string& name) {
    nlohmann::json fresh = ReadDocument(from);
    fresh["label"] = "clientType:::0|||docName:::Business Card|||";
    return world_.WriteDocument(name, fresh);
  }
  std::string Server() { return world_.service().baseUrl(); }

  PublishWorld world_;
  std::unique_ptr<ServiceQuery> query_;
};

TEST_F(PublishTerminal, APublishEndsWithOneLineSayingWhatHappened) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.CopyExample("business-card.tlvd");
  const RunResult first = Publish(doc);
  ASSERT_EQ(0, first.status) << first.err;
  const std::string id = DocumentData(doc).at("docID");
  EXPECT_EQ("published 'Business Card' as " + id + " to " + Server() + "\n", first.out);

  const RunResult again = Publish(doc);
  ASSERT_EQ(0, again.status) << again.err;
  EXPECT_EQ("updated 'Business Card' (" + id + ") at " + Server() + "\n", again.out);
}

TEST_F(PublishTerminal, AFailedCallIsSummarisedInPlainWordsUnderTheFullReport) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.CopyExample("business-card.tlvd");

  const std::string settings = world_.pluginDir() + "/Osl.cfg";
  const std::string good = ReadFile(settings);
  // Wrong password: the full report stays above the summary.
  {
    std::string wrong = "server:" + Server() + "\nuser:" + kE2eUser + "\npass:not it\n";
    FILE* file = fopen(settings.c_str(), "w");
    ASSERT_NE(nullptr, file);
    fputs(wrong.c_str(), file);
    fclose(file);
  }
  RunResult refused = Publish(doc);
  EXPECT_EQ(1, refused.status) << refused.err;
  EXPECT_EQ("not published: wrong user or password (run `osl prefs`)\n", refused.out);
  EXPECT_NE(std::string::npos, refused.err.find("Invalid user name or password")) << refused.err;

  // Nothing listening at the address.
  const std::string nowhere = "http://127.0.0.1:1";
  {
    FILE* file = fopen(settings.c_str(), "w");
    ASSERT_NE(nullptr, file);
    fputs(("server:" + nowhere + "\nuser:u\npass:p\n").c_str(), file);
    fclose(file);
  }
  RunResult absent = Publish(doc);
  EXPECT_EQ(1, absent.status) << absent.err;
  EXPECT_EQ(0u, absent.out.find("not published: no service at " + nowhere)) << absent.out;

  // The right settings again: the same document publishes.
  {
    FILE* file = fopen(settings.c_str(), "w");
    ASSERT_NE(nullptr, file);
    fputs(good.c_str(), file);
    fclose(file);
  }
  EXPECT_EQ(0, Publish(doc).status);
}

TEST_F(PublishTerminal, AnHttpStatusAndAnUncommittedTemplateAreNamed) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setFields:http-503:1"}));
  const std::string doc = world_.CopyExample("business-card.tlvd");
  const RunResult run = Publish(doc);
  EXPECT_EQ(1, run.status) << run.err;
  const std::string id = DocumentData(doc).at("docID");
  EXPECT_EQ(
      "not published: the service answered HTTP 503; the service may now hold an uncommitted "
      "template 'Business Card' (" +
          id + ")\n",
      std::regex_replace(run.out, std::regex("HTTP 503 \\([^)]*\\)"), "HTTP 503"));
}

TEST_F(PublishTerminal, ATemplateWithoutANameSaysThatNameGivesOne) {
  ASSERT_NO_FATAL_FAILURE(Start());
  nlohmann::json doc = ReadDocument(world_.CopyExample("business-card.tlvd"));
  doc["label"] = "clientType:::0|||";
  const std::string path = world_.WriteDocument("unnamed.tlvd", doc);
  const RunResult run = Publish(path);
  EXPECT_EQ(2, run.status) << run.err;
  EXPECT_EQ("not published: the template needs a name; give it one with --name NAME\n", run.out);
  EXPECT_EQ(1, CountLines(run.err, "[warning] 0x199e00kTemplateNameRequiredKey")) << run.err;
  EXPECT_EQ(std::string::npos, run.err.find("did not take the options")) << run.err;
  EXPECT_EQ(std::string::npos, run.err.find("invalid 0x199e07")) << run.err;
  EXPECT_TRUE(query_->Templates().empty());
}

// The default button of a question does not decide for nobody: with no
// terminal and no answer given, the command stops before answering.
TEST_F(PublishTerminal, AQuestionNoOneCanAnswerStopsTheCommandAndNamesTheOption) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string first = world_.CopyExample("business-card.tlvd");
  ASSERT_EQ(0, Publish(first).status);
  const std::string id = DocumentData(first).at("docID");
  const std::string second = Unpublished(first, "other.tlvd");
  const std::string before = ReadFile(second);

  const RunResult run = Publish(second, {}, {});
  EXPECT_EQ(2, run.status) << run.err;
  EXPECT_EQ(1, CountLines(run.err, "[ask] Business Card0x199e00koverrideTemplateKey")) << run.err;
  EXPECT_NE(std::string::npos,
            run.err.find("osl: stopped at the question \"Business "
                         "Card0x199e00koverrideTemplateKey\": there is no terminal to ask on"))
      << run.err;
  EXPECT_NE(std::string::npos, run.err.find("answer it with --yes (Yes) or --no (No)")) << run.err;
  EXPECT_EQ("", run.out);
  // Nothing was replaced, nothing saved.
  EXPECT_EQ(before, ReadFile(second));
  EXPECT_EQ(1u, query_->Templates().size());
  EXPECT_EQ(1, CommitCount(world_.dataDir(), id));
}

TEST_F(PublishTerminal, OffATerminalEachProgressStepIsPrintedOnceAndDialogLinesOnlyWhenVerbose) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.CopyExample("business-card.tlvd");
  const RunResult run = Publish(doc);
  ASSERT_EQ(0, run.status) << run.err;
  std::vector<std::string> steps;
  size_t start = 0;
  while ((start = run.err.find("[progress] ", start)) != std::string::npos) {
    const size_t end = run.err.find('\n', start);
    steps.push_back(run.err.substr(start, end - start));
    start = end;
  }
  ASSERT_FALSE(steps.empty()) << run.err;
  for (size_t i = 0; i < steps.size(); ++i) {
    for (size_t j = i + 1; j < steps.size(); ++j) EXPECT_NE(steps[i], steps[j]);
  }
  for (const char* task :
       {"0/9 0x199e00ksetTemplateKey", "1/9 0x199e00ksavetlvdKey", "2/9 0x199e00kuploadtlvdKey",
        "5/9 0x199e00ksetFieldsKey", "9/9 0x199e00kcommitTemplateKey"}) {
    EXPECT_EQ(1, CountLines(run.err, task)) << task << "\n" << run.err;
  }
  EXPECT_EQ(0, CountLines(run.err, "[dialog]")) << run.err;

  const RunResult verbose = Publish(doc, {}, {"--yes", "--verbose"});
  ASSERT_EQ(0, verbose.status) << verbose.err;
  EXPECT_EQ(1, CountLines(verbose.err, "[dialog] 250 opened")) << verbose.err;
  EXPECT_EQ(1, CountLines(verbose.err, "[dialog] 250 ok")) << verbose.err;
}

TEST_F(PublishTerminal, CtrlCSaysCancelledAndWhatTheServiceMayHoldAndExits130) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setFields:delay:1", "--delay-ms", "30000"}));
  const std::string doc = world_.CopyExample("business-card.tlvd");
  const std::string before = ReadFile(doc);
  TempDir temp;
  ChildProcess osl;
  RunOptions options;
  options.env = {"OSL_LOCALE=keys", "TMPDIR=" + temp.path()};
  std::string error;
  ASSERT_TRUE(osl.Start(
      {BuiltProgram("osl"), "--plugin", world_.pluginDir() + "/Osl.pln", "--yes", "publish", doc},
      options, &error))
      << error;
  // Interrupted while the service sits on the fields.
  bool sending = false;
  for (int i = 0; i < 300 && !sending; ++i) {
    sending = osl.Stderr().find("0x199e00ksetFieldsKey") != std::string::npos;
    if (!sending) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(sending) << osl.Stderr();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  osl.Signal(SIGINT);
  EXPECT_EQ(130, osl.Wait(10000));
  const std::string err = osl.Stderr();
  const size_t at = err.find("osl: cancelled");
  ASSERT_NE(std::string::npos, at) << err;
  const std::string line = err.substr(at, err.find('\n', at) - at);
  EXPECT_EQ(std::regex_replace(line, std::regex("\\([0-9a-f-]{36}\\)"), "(<id>)"),
            "osl: cancelled: the service at " + Server() +
                " may now hold an uncommitted template 'Business Card' (<id>); publish again to "
                "complete it; the document on disk is unchanged");
  EXPECT_EQ(before, ReadFile(doc));
}

// The screen of a person who publishes in a terminal: the progress bar is
// redrawn in place, the question starts on a line of its own and is asked
// there, and the run ends with its one line.
TEST_F(PublishTerminal, InATerminalThePersonSeesTheBarTheQuestionAndTheResult) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string first = world_.CopyExample("business-card.tlvd");
  TempDir temp;
  const std::vector<std::string> env = {"TMPDIR=" + temp.path(), "TERM=xterm"};
  const std::string osl = BuiltProgram("osl");
  const std::string plugin = world_.pluginDir() + "/Osl.pln";

  PtyRun published;
  bool timedOut = false;
  EXPECT_EQ(0,
            published.Run({osl, "--plugin", plugin, "publish", first}, env, {}, 60000, &timedOut));
  ASSERT_FALSE(timedOut) << published.output();
  EXPECT_EQ(
      "Publishing template Business Card [########################] 9/9 Committing the "
      "template\n"
      "[info] The template was published.\n"
      "published 'Business Card' as <id> to <server>\n",
      Masked(Screen(published.output()), Server()))
      << published.output();

  // Another document of that name: the question is asked on the terminal.
  const std::string second = Unpublished(first, "other.tlvd");
  PtyRun declined;
  EXPECT_EQ(0, declined.Run({osl, "--plugin", plugin, "publish", second}, env,
                            {{"(default 1): ", "2\n"}}, 60000, &timedOut));
  ASSERT_FALSE(timedOut) << declined.output();
  EXPECT_EQ(
      "Publishing template Business Card [........................] 0/9 Registering the "
      "template\n"
      "[ask] Business Card already exists at the service. Replace it?\n"
      "  answer [1] Yes [2] No (default 1): 2\n"
      "not published: a template named 'Business Card' already exists at the service, and "
      "replacing it was declined\n",
      Masked(Screen(declined.output()), Server()))
      << declined.output();
  EXPECT_EQ(1u, query_->Templates().size());
}

}  // namespace
}  // namespace osltest

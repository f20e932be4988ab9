// `osl export-pdf` and `osl items` against hostile or awkward documents:
// files that are FIFOs, fonts the machine lacks, stories far longer than
// their frames.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/subprocess.h"

namespace osltest {
namespace {

// A one-page document holding `items` (one item: a list of one).
nlohmann::json Document(nlohmann::json items) {
  if (!items.is_array()) items = nlohmann::json::array({items});
  return {
      {"format", "tlvd"},
      {"version", 1},
      {"spreads",
       {{{"uid", 2}, {"pages", {{{"uid", 3}, {"bounds", {0, 0, 300, 300}}, {"items", items}}}}}}}};
}

nlohmann::json TextFrame(unsigned uid, double top, double height, const std::string& text,
                         const std::string& font = "DejaVu Sans",
                         const std::string& style = "Book") {
  size_t characters = 0;
  for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
  return {{"uid", uid},
          {"kind", "text"},
          {"bounds", {0, 0, 200, height}},
          {"matrix", {1, 0, 0, 1, 10, top}},
          {"story",
           {{"text", text},
            {"runs",
             {{{"length", characters + 1}, {"font", font}, {"style", style}, {"size", 10}}}}}}};
}

RunResult Osl(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {BuiltProgram("osl")};
  argv.insert(argv.end(), args.begin(), args.end());
  RunOptions options;
  options.timeoutMs = 60000;
  return RunProcess(argv, options);
}

// Runs `argv` with its output thrown away and returns its peak resident
// memory in KiB, or -1 when it fails or runs longer than `timeoutMs`.
long PeakMemoryKiB(const std::vector<std::string>& argv, int timeoutMs) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  if (pid < 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  struct rusage usage {};
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

class OslExportPdf : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const nlohmann::json& doc) {
    return dir_.Write(name, doc.dump());
  }
  std::string Text(const std::string& pdf) {
    return RunProcess({"/usr/bin/pdftotext", pdf, "-"}).out;
  }
  TempDir dir_;
};

TEST_F(OslExportPdf, ImageAndFontFilesThatAreFifosAreRefusedWithoutWaiting) {
  const std::string fifo = dir_.path() + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  nlohmann::json doc =
      Document({TextFrame(10, 10, 30, "Piped font", "Piped Sans", "Regular"),
                {{"uid", 11}, {"kind", "graphic"}, {"bounds", {0, 0, 50, 50}}, {"image", "pipe"}}});
  doc["fonts"] = {{{"family", "Piped Sans"}, {"style", "Regular"}, {"files", {"pipe"}}}};
  const std::string path = Write("fifo.tlvd", doc);
  const RunResult run = Osl({"export-pdf", path, dir_.path() + "/fifo.pdf"});
  ASSERT_FALSE(run.timedOut) << "the export waited on a FIFO";
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(
      run.err.find("[warning] image " + fifo + " not drawn: " + fifo + ": not a regular file"),
      std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("[warning] font \"Piped Sans Regular\" cannot be used (font file " + fifo +
                         ": not a regular file); drawn in \""),
            std::string::npos)
      << run.err;
  EXPECT_NE(Text(dir_.path() + "/fifo.pdf").find("Piped font"), std::string::npos);
}

TEST_F(OslExportPdf, AnImageThatCannotBeReadIsLeftOutOfThePdfWithAWarning) {
  const std::string path = Write(
      "absent.tlvd", Document({{{"uid", 11},
                                {"kind", "graphic"},
                                {"bounds", {0, 0, 100, 100}},
                                {"matrix", {1, 0, 0, 1, 50, 50}},
                                {"image", "absent.png"}}}));
  const RunResult run = Osl({"export-pdf", path, dir_.path() + "/absent.pdf"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("[warning] image " + dir_.path() + "/absent.png not drawn"),
            std::string::npos)
      << run.err;
  // The page is blank paper: no grey box, no cross.
  ASSERT_EQ(RunProcess({"/usr/bin/pdftoppm", "-r", "36", "-gray", "-singlefile",
                        dir_.path() + "/absent.pdf", dir_.path() + "/absent"})
                .status,
            0);
  const std::string pgm = ReadFile(dir_.path() + "/absent.pgm");
  // "P5\n150 150\n255\n" then one byte per pixel.
  ASSERT_GT(pgm.size(), 150u * 150u);
  const std::string pixels = pgm.substr(pgm.size() - 150u * 150u);
  EXPECT_EQ(pixels.find_first_not_of('\xFF'), std::string::npos);
}

TEST_F(OslExportPdf, RightToLeftTextReadsInLogicalOrder) {
  // pdftotext gives the characters in reading order only when the PDF holds
  // them shaped and ordered right to left; text laid out left to right
  // character by character reads reversed ("ابحرم").
  const std::vector<std::string> lines = {
      "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 \xD8\xA8\xD8\xA7\xD9\x84\xD8\xB9\xD8\xA7\xD9\x84\xD9\x85",  // مرحبا بالعالم
      "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D",  // שלום עולם
  };
  const std::string path = Write(
      "rtl.tlvd", Document({TextFrame(10, 10, 30, lines[0]), TextFrame(11, 60, 30, lines[1])}));
  const RunResult run = Osl({"export-pdf", path, dir_.path() + "/rtl.pdf"});
  ASSERT_EQ(run.status, 0) << run.err;
  // pdftotext marks right-to-left lines with embedding controls and may split
  // a word where letters join differently: compare the letters alone.
  auto letters = [](const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
      if (utf8[i] == ' ' || utf8[i] == '\n') continue;
      if (utf8.compare(i, 2, "\xE2\x80") == 0 && i + 2 < utf8.size() &&
          static_cast<unsigned char>(utf8[i + 2]) >= 0xAA &&
          static_cast<unsigned char>(utf8[i + 2]) <= 0xAE) {
        i += 2;  // U+202A to U+202E
        continue;
      }
      out += utf8[i];
    }
    return out;
  };
  const std::string text = letters(Text(dir_.path() + "/rtl.pdf"));
  for (const std::string& line : lines) EXPECT_NE(text.find(letters(line)), std::string::npos) << text;
}

TEST_F(OslExportPdf, AFontTheMachineLacksIsReportedOnceNamingBothFonts) {
  const std::string path = Write(
      "missing.tlvd", Document({TextFrame(10, 10, 30, "First", "Corporate Nonesuch", "Bold"),
                                TextFrame(11, 50, 30, "Second", "Corporate Nonesuch", "Bold")}));
  const RunResult run = Osl({"export-pdf", path, dir_.path() + "/missing.pdf"});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string line =
      "[warning] font \"Corporate Nonesuch Bold\" is not installed; drawn in \"";
  const size_t at = run.err.find(line);
  ASSERT_NE(at, std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(line, at + 1), std::string::npos) << run.err;
  // The substitute is named: "DejaVu Sans Bold" or whatever the machine has.
  EXPECT_NE(run.err.find("\" instead", at), std::string::npos) << run.err;
  const std::string text = Text(dir_.path() + "/missing.pdf");
  EXPECT_NE(text.find("First"), std::string::npos) << text;
  EXPECT_NE(text.find("Second"), std::string::npos) << text;
}

TEST_F(OslExportPdf, ItemsSaysWhichTextFramesAreOverset) {
  const std::string path =
      Write("overset.tlvd", Document({TextFrame(10, 10, 30, "Fits"),
                                      TextFrame(11, 50, 30, "One\rTwo\rThree\rFour line")}));
  const RunResult run = Osl({"items", path});
  EXPECT_EQ(run.status, 0) << run.err;
  const size_t fits = run.out.find("uid 10 ");
  const size_t overset = run.out.find("uid 11 ");
  ASSERT_NE(fits, std::string::npos) << run.out;
  ASSERT_NE(overset, std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(fits, run.out.find('\n', fits) - fits).find("overset"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.substr(overset, run.out.find('\n', overset) - overset).find("] overset"),
            std::string::npos)
      << run.out;
  // The overset lines are not in the PDF.
  ASSERT_EQ(Osl({"export-pdf", path, dir_.path() + "/overset.pdf"}).status, 0);
  const std::string text = Text(dir_.path() + "/overset.pdf");
  EXPECT_NE(text.find("Two"), std::string::npos) << text;
  EXPECT_EQ(text.find("Four line"), std::string::npos) << text;
}

TEST_F(OslExportPdf, ALongStoryExportsInMemoryBoundedByItsFrame) {
  // 8 MiB of text in a frame that shows a few hundred characters: memory
  // once grew by some 200 bytes per character of the story (1.6 GB here).
  std::string text;
  while (text.size() < (8u << 20)) text += "garden sale weekend flyer counter ";
  text += "LASTWORD";
  const std::string path = Write("long.tlvd", Document({TextFrame(10, 10, 100, text)}));
  const std::string pdf = dir_.path() + "/long.pdf";
  const long kib = PeakMemoryKiB({BuiltProgram("osl"), "export-pdf", path, pdf}, 60000);
  ASSERT_GT(kib, 0) << "the export failed or took longer than a minute";
  EXPECT_LT(kib, 400 * 1024) << "peak memory " << kib << " KiB";
  const std::string shown = Text(pdf);
  EXPECT_NE(shown.find("garden sale"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("LASTWORD"), std::string::npos);
}

// The output path names what the PDF would replace: the document itself
// (under any of its names) and anything that is not a regular file are
// refused with a usage error, and stay exactly as they were.
TEST_F(OslExportPdf, AnOutputThatIsTheDocumentOrNotARegularFileIsRefusedAndKept) {
  const std::string doc = Write("card.tlvd", Document(TextFrame(10, 10, 30, "Card")));
  const std::string before = ReadFile(doc);
  ASSERT_EQ(0, mkdir((dir_.path() + "/sub").c_str(), 0700));
  ASSERT_EQ(0, symlink("card.tlvd", (dir_.path() + "/link.pdf").c_str()));
  ASSERT_EQ(0, link(doc.c_str(), (dir_.path() + "/hard.pdf").c_str()));
  for (const std::string& out : {doc, dir_.path() + "/sub/../card.tlvd", dir_.path() + "/link.pdf",
                                 dir_.path() + "/hard.pdf"}) {
    const RunResult run = Osl({"export-pdf", doc, out});
    EXPECT_EQ(run.status, 2) << out << "\n" << run.err;
    EXPECT_NE(run.err.find("osl: export-pdf: " + out + " is the document itself"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(doc), before) << out;
  }
  struct stat info;
  ASSERT_EQ(0, lstat((dir_.path() + "/link.pdf").c_str(), &info));
  EXPECT_TRUE(S_ISLNK(info.st_mode));

  const std::string fifo = dir_.path() + "/pipe.pdf";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  ASSERT_EQ(0, symlink("/dev/null", (dir_.path() + "/null.pdf").c_str()));
  std::vector<std::string> others = {fifo, dir_.path() + "/null.pdf"};
  // A device node of the test's own (making one needs the right to).
  const std::string device = dir_.path() + "/device.pdf";
  if (mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) others.push_back(device);
  for (const std::string& out : others) {
    const RunResult run = Osl({"export-pdf", doc, out});
    ASSERT_FALSE(run.timedOut) << out;
    EXPECT_EQ(run.status, 2) << out << "\n" << run.err;
    EXPECT_NE(run.err.find("osl: export-pdf: " + out + " exists and is not a regular file"),
              std::string::npos)
        << run.err;
  }
  ASSERT_EQ(0, stat(fifo.c_str(), &info));
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  ASSERT_EQ(0, lstat((dir_.path() + "/null.pdf").c_str(), &info));
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  if (others.size() == 3) {
    ASSERT_EQ(0, stat(device.c_str(), &info));
    EXPECT_TRUE(S_ISCHR(info.st_mode));
  }

  const RunResult folder = Osl({"export-pdf", doc, dir_.path() + "/sub"});
  EXPECT_EQ(folder.status, 2) << folder.err;
  EXPECT_NE(folder.err.find("osl: export-pdf: " + dir_.path() + "/sub is a folder, not a file"),
            std::string::npos)
      << folder.err;

  // A regular file other than the document is replaced, as before.
  const std::string old = dir_.Write("old.pdf", "old");
  const RunResult replaced = Osl({"export-pdf", doc, old});
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_NE(Text(old).find("Card"), std::string::npos);
}

}  // namespace
}  // namespace osltest

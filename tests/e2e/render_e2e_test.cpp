// `osl-service render` end to end: samples published with `osl publish` to a fresh osl-service,
// then built into PDFs with values and read back with poppler's tools (pdftotext -bbox, pdffonts,
// pdftoppm) and zbarimg.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <cairo.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "tests/e2e/documents.h"
#include "tests/e2e/e2e_support.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

// One word pdftotext found, with its box (origin top-left, y downwards).
struct Word {
  std::string text;
  double xMin, yMin, xMax, yMax;
};

std::vector<Word> Words(const std::string& pdf) {
  RunResult run = RunProcess({"/usr/bin/pdftotext", "-bbox", pdf, "-"});
  std::vector<Word> words;
  std::regex pattern(
      R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
  for (std::sregex_iterator it(run.out.begin(), run.out.end(), pattern), end; it != end; ++it) {
    words.push_back(Word{(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]),
                         std::stod((*it)[4])});
  }
  return words;
}

const Word* FindWord(const std::vector<Word>& words, const std::string& text) {
  for (const Word& word : words) {
    if (word.text == text) return &word;
  }
  return nullptr;
}

// A rectangle in page coordinates with the origin at the top-left corner.
struct Box {
  double left, top, right, bottom;
};

bool Inside(const Word& word, const Box& box) {
  const double slack = 0.5;
  return word.xMin >= box.left - slack && word.xMax <= box.right + slack &&
         word.yMin >= box.top - slack && word.yMax <= box.bottom + slack;
}

// The RGB of pixel (x, y) of a binary PPM (P6, maxval 255).
std::array<int, 3> PixelAt(const std::string& ppm, int x, int y) {
  std::istringstream in(ppm);
  std::string magic;
  int width = 0, height = 0, maxval = 0;
  in >> magic >> width >> height >> maxval;
  in.get();
  const size_t at = static_cast<size_t>(in.tellg()) + 3u * static_cast<size_t>(y * width + x);
  if (magic != "P6" || x >= width || y >= height || at + 3 > ppm.size()) return {-1, -1, -1};
  return {static_cast<unsigned char>(ppm[at]), static_cast<unsigned char>(ppm[at + 1]),
          static_cast<unsigned char>(ppm[at + 2])};
}

class RenderE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(world_.Start({}, &error)) << error;
  }

  // Publishes `doc` and returns the template identifier the document now carries.
  std::string Publish(const std::string& doc) {
    RunResult run = world_.Osl({"--yes", "publish", doc});
    EXPECT_EQ(0, run.status) << run.out << run.err;
    std::string id = DocumentData(doc)["docID"];
    EXPECT_FALSE(id.empty()) << run.out << run.err;
    return id;
  }

  // Runs `osl-service render` with `values` (JSON text) into OUT (in the test folder).
  RunResult Render(const std::string& id, const std::string& values, const std::string& out) {
    const std::string valuesPath = work_.Write("values.json", values);
    return RunProcess({BuiltProgram("osl-service"), "render", "--data", world_.dataDir(), id,
                       "--values", valuesPath, work_.path() + "/" + out});
  }

  std::string Out(const std::string& name) const { return work_.path() + "/" + name; }

  PublishWorld world_;
  TempDir work_;
};

bool Exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

TEST_F(RenderE2eTest, BusinessCardValuesSitInTheirFieldsInTheirFontsOverTheMaster) {
  const std::string id = Publish(world_.CopyExample("business-card.tlvd"));
  RunResult run = Render(id,
                         R"({"FullName": "Ann Example", "JobTitle": "Chief Printer",
                             "Phone": "555-0199", "Email": "ann@example.org"})",
                         "card.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("FullName: drawn\n")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("Logo: drawn\n")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("wrote ")) << run.out;

  // The card's page is 144 pt tall; pdfRect "x1 y1 x2 y2" has its origin at the lower left.
  auto box = [](double x1, double y1, double x2, double y2) {
    return Box{x1, 144 - y2, x2, 144 - y1};
  };
  std::vector<Word> words = Words(Out("card.pdf"));
  const Word* ann = FindWord(words, "Ann");
  const Word* printer = FindWord(words, "Printer");
  const Word* phone = FindWord(words, "555-0199");
  const Word* email = FindWord(words, "ann@example.org");
  ASSERT_TRUE(ann && printer && phone && email) << RunProcess({"/usr/bin/pdftotext", Out("card.pdf"), "-"}).out;
  EXPECT_TRUE(Inside(*ann, box(14, 108, 174, 128)));
  EXPECT_TRUE(Inside(*printer, box(14, 92, 174, 106)));
  EXPECT_TRUE(Inside(*phone, box(14, 34, 194, 48)));
  EXPECT_TRUE(Inside(*email, box(14, 16, 194, 30)));
  // The designer's texts are replaced, the master's own text is kept.
  EXPECT_EQ(nullptr, FindWord(words, "Jane"));
  EXPECT_NE(nullptr, FindWord(words, "PRINTED"));
  // The e-mail field's record says underlined: a line under the word, none under the phone.
  ASSERT_EQ(0, RunProcess({"/usr/bin/pdftoppm", "-r", "72", "-singlefile", Out("card.pdf"),
                           Out("card")}).status);
  const std::string ppm = ReadFile(Out("card.ppm"));
  // A row in the word's lower half, or just below it, inked along nine tenths of its width.
  auto inkBelow = [&](const Word& word) {
    const int left = static_cast<int>(word.xMin) + 1, right = static_cast<int>(word.xMax) - 1;
    for (int y = static_cast<int>((word.yMin + word.yMax) / 2); y <= word.yMax + 3; ++y) {
      int inked = 0;
      for (int x = left; x < right; ++x) {
        const std::array<int, 3> p = PixelAt(ppm, x, y);
        inked += p[0] + p[1] + p[2] < 3 * 240;
      }
      if (inked * 10 >= (right - left) * 9) return true;
    }
    return false;
  };
  EXPECT_TRUE(inkBelow(*email));
  EXPECT_FALSE(inkBelow(*phone));
  // The uploaded fonts, embedded.
  std::string fonts = PdfFonts(Out("card.pdf"));
  EXPECT_NE(std::string::npos, fonts.find("DejaVuSans-Bold")) << fonts;
  EXPECT_NE(std::string::npos, fonts.find("DejaVuSerif-Italic")) << fonts;
}

TEST_F(RenderE2eTest, CharactersTheUploadedFontLacksComeFromNamedFallbackFonts) {
  // FullName is set in the uploaded DejaVu Sans Bold, which has no CJK and no colour emoji.
  const std::string id = Publish(world_.CopyExample("business-card.tlvd"));
  struct Case {
    const char* value;
    std::vector<std::string> fallbacks;  // families the report names; none: no note
    int moreFonts;                       // fonts pdffonts lists besides the Latin case's
    bool colourGlyph;                    // a colour emoji is drawn (as a picture, not a font)
  } cases[] = {
      {"Ann Example", {}, 0, false},
      {R"(Ann \u6771\u4eac)", {"WenQuanYi Micro Hei"}, 1, false},
      {R"(Ann \ud83d\ude00)", {"Noto Color Emoji"}, 0, true},
  };
  // pdffonts lists one font per line after its two heading lines; a fallback font is one more
  // (cairo names subsets of fonts without a PostScript name "CairoFont-...").
  auto fontCount = [](const std::string& listing) {
    return std::count(listing.begin(), listing.end(), '\n') - 2;
  };
  long latinFonts = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    RunResult run = Render(id, std::string(R"({"FullName": ")") + c.value + R"("})", "fallback.pdf");
    ASSERT_EQ(0, run.status) << run.err;
    const size_t line = run.out.find("FullName: ");
    ASSERT_NE(std::string::npos, line) << run.out;
    const std::string report = run.out.substr(line, run.out.find('\n', line) - line);
    EXPECT_EQ(c.fallbacks.empty(), report.find("characters the font lacks") == std::string::npos)
        << report;
    for (const std::string& family : c.fallbacks) {
      EXPECT_NE(std::string::npos, report.find("\"" + family + "\"")) << report;
    }
    EXPECT_EQ(std::string::npos, report.find("drawn as boxes")) << report;
    const std::string fonts = PdfFonts(Out("fallback.pdf"));
    if (latinFonts < 0) latinFonts = fontCount(fonts);
    EXPECT_EQ(latinFonts + c.moreFonts, fontCount(fonts)) << fonts;
    // The emoji's yellow face in FullName's box (14..174 x 16..36 pt from the top-left).
    ASSERT_EQ(0, RunProcess({"/usr/bin/pdftoppm", "-r", "72", "-singlefile", Out("fallback.pdf"),
                             Out("fallback")}).status);
    const std::string ppm = ReadFile(Out("fallback.ppm"));
    bool yellow = false;
    for (int y = 16; y < 36 && !yellow; ++y) {
      for (int x = 14; x < 174 && !yellow; ++x) {
        const std::array<int, 3> p = PixelAt(ppm, x, y);
        yellow = p[0] > 200 && p[1] > 150 && p[2] < 100;
      }
    }
    EXPECT_EQ(c.colourGlyph, yellow);
  }
}

TEST_F(RenderE2eTest, MoveDownGroupClosesTheGapOfAnEmptyMemberAndDependentsVanish) {
  const std::string id = Publish(world_.CopyExample("business-card.tlvd"));
  ASSERT_EQ(0, Render(id, R"({"Phone": "555-0100", "Email": "ann@example.org"})", "full.pdf").status);
  // Email (the lowest member of the moveDown group Contact) empty: Phone moves down by Email's
  // share, the distance between the two bottom edges (34 - 16 = 18 pt).
  RunResult run = Render(id, R"({"Phone": "555-0100", "Email": ""})", "closed.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Email: empty\n")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("Phone: drawn, moved down by 18 pt\n")) << run.out;
  const std::vector<Word> full = Words(Out("full.pdf"));
  const std::vector<Word> closed = Words(Out("closed.pdf"));
  const Word* before = FindWord(full, "555-0100");
  const Word* after = FindWord(closed, "555-0100");
  ASSERT_TRUE(before && after);
  EXPECT_NEAR(18.0, after->yMin - before->yMin, 0.01);
  EXPECT_NEAR(before->xMin, after->xMin, 0.01);

  // Phone depends on FullName: an empty FullName takes Phone with it.
  run = Render(id, R"({"FullName": "", "Phone": "555-0100"})", "nameless.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Phone: empty (")) << run.out;
  EXPECT_EQ(nullptr, FindWord(Words(Out("nameless.pdf")), "555-0100"));
}

TEST_F(RenderE2eTest, TooLongTextShrinksThenOverflows) {
  const std::string id = Publish(world_.CopyExample("business-card.tlvd"));
  // JobTitle: 9 pt in a frame 160 pt wide.
  RunResult run = Render(id, R"({"JobTitle": "Head of Printing and of Everything Else"})", "s.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  std::smatch size;
  ASSERT_TRUE(std::regex_search(run.out, size, std::regex("JobTitle: shrunk to ([0-9.]+) pt\n")))
      << run.out;
  EXPECT_LT(std::stod(size[1]), 9.0);
  EXPECT_GE(std::stod(size[1]), 4.5);
  for (const Word& word : Words(Out("s.pdf"))) {
    if (word.text == "Everything") {
      EXPECT_LE(word.xMax, 174.5);
    }
  }
  run = Render(id, R"({"JobTitle": ")" + std::string(400, 'W') + R"("})", "o.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("JobTitle: overflowing (cut at the frame at 4.5 pt)"))
      << run.out;
}

TEST_F(RenderE2eTest, BadInputIsRefusedAndNothingIsWritten) {
  const std::string id = Publish(world_.CopyExample("business-card.tlvd"));
  struct Case {
    std::string values;
    std::string message;
  };
  work_.Write("not-an-image.png", "this is text");
  const std::vector<Case> cases = {
      {R"({"Nickname": "x"})", "the template has no field named \"Nickname\""},
      {R"({"FullName": ")" + std::string(64 * 1024 + 1, 'a') + R"("})", "longer than 64 KiB"},
      {R"({"Logo": "not-an-image.png"})", "is not an image"},
      {R"({"Logo": "missing.png"})", "cannot open"},
      {R"({"FullName": 12})", "is not a JSON string"},
      {R"(["FullName"])", "not a JSON object"},
  };
  for (const Case& bad : cases) {
    RunResult run = Render(id, bad.values, "bad.pdf");
    EXPECT_EQ(2, run.status) << bad.values.substr(0, 80);
    EXPECT_NE(std::string::npos, run.err.find(bad.message)) << run.err;
    EXPECT_FALSE(Exists(Out("bad.pdf")));
  }
  // A template that does not exist.
  RunResult run = Render("00000000-0000-0000-0000-000000000001", "{}", "bad.pdf");
  EXPECT_EQ(2, run.status);
  EXPECT_NE(std::string::npos, run.err.find("does not exist")) << run.err;
  EXPECT_FALSE(Exists(Out("bad.pdf")));
  // A 64 KiB value exactly is taken.
  run = Render(id, R"({"Email": ")" + std::string(64 * 1024, 'a') + R"("})", "edge.pdf");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Email: overflowing")) << run.out;
}

// A document of its own: a moveUp group of four stacked one-line fields (the third depends on the
// second), a QR code field, a wrapping text area, a rotated field and an image given as a file.
nlohmann::json StackDocument() {
  nlohmann::json doc = ReadDocument(std::string(OSL_SOURCE_DIR) + "/examples/business-card.tlvd");
  doc["label"] = "StackingGroups:::Stack:::0---|||clientType:::0|||docName:::Stack Card|||";
  nlohmann::json& page = doc["spreads"][0]["pages"][0];
  page["bounds"] = {0, 0, 300, 400};
  nlohmann::json text = page["items"][1];  // FullName: a text frame
  nlohmann::json items = nlohmann::json::array();
  items.push_back(page["items"][0]);  // the logo
  int uid = 100;
  auto add = [&](const std::string& name, double x, double y, double w, double h,
                 const std::string& extraLabel, const std::string& sample) {
    nlohmann::json item = text;
    item["uid"] = uid++;
    item["bounds"] = {0, 0, w, h};
    item["matrix"] = {1, 0, 0, 1, x, y};
    item["story"]["text"] = sample;
    item["story"]["runs"][0]["length"] = sample.size();
    item["story"]["runs"][0]["size"] = 10;
    item["story"]["runs"][0]["leading"] = 12;
    item["label"] = extraLabel + "fieldName:::" + name + "|||promptText:::" + name + "|||";
    items.push_back(item);
  };
  add("Alpha", 20, 150, 200, 14, "MemberofGroup:::Stack|||controlType:::0|||", "Alpha");
  add("Bravo", 20, 168, 200, 14, "MemberofGroup:::Stack|||controlType:::0|||", "Bravo");
  add("Charlie", 20, 186, 200, 14,
      "Dependson:::Bravo|||MemberofGroup:::Stack|||controlType:::0|||", "Charlie");
  add("Delta", 20, 204, 200, 14, "MemberofGroup:::Stack|||controlType:::0|||", "Delta");
  add("Link", 20, 240, 120, 120, "controlType:::4|||", "https://example.org/");
  add("Notes", 160, 240, 120, 60, "controlType:::1|||", "Notes");
  // Turned a quarter to the left about its top-left corner: it stands upright at x 250..264.
  add("Turned", 250, 140, 80, 14, "controlType:::0|||", "Turned");
  items.back()["matrix"] = {0, -1, 1, 0, 250, 220};
  page["items"] = items;
  return doc;
}

nlohmann::json SwatchDocument() {
  // A frame stroked 16 pt wide in the process swatch Brand Blue (drawn in the proof, the
  // background) beside a field whose text is Brand Blue (drawn by the builder), filled with full
  // blocks.
  nlohmann::json doc = ReadDocument(std::string(OSL_SOURCE_DIR) + "/examples/business-card.tlvd");
  doc["label"] = "clientType:::0|||docName:::Swatch Card|||";
  nlohmann::json& page = doc["spreads"][0]["pages"][0];
  page["bounds"] = {0, 0, 300, 100};
  nlohmann::json frame = page["items"][0];
  frame["uid"] = 200;
  frame.erase("image");
  frame.erase("label");
  frame["bounds"] = {0, 0, 60, 60};
  frame["matrix"] = {1, 0, 0, 1, 20, 20};
  frame["stroke"] = {{"weight", 16}, {"color", "Brand Blue"}};
  nlohmann::json text = page["items"][1];
  text["uid"] = 201;
  text["bounds"] = {0, 0, 150, 60};
  text["matrix"] = {1, 0, 0, 1, 120, 20};
  text["story"]["text"] = "X";
  text["story"]["runs"][0]["length"] = 1;
  text["story"]["runs"][0]["size"] = 40;
  text["story"]["runs"][0]["leading"] = 48;
  text["label"] = "controlType:::0|||fieldName:::Swatch|||promptText:::Swatch|||";
  page["items"] = {frame, text};
  return doc;
}

TEST_F(RenderE2eTest, AFieldAndAFrameOfOneSwatchShowTheSameColour) {
  const std::string id = Publish(world_.WriteDocument("swatch.tlvd", SwatchDocument()));
  RunResult run = Render(id, R"({"Swatch": "\u2588\u2588\u2588"})", "swatch.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  ASSERT_EQ(0, RunProcess({"/usr/bin/pdftoppm", "-r", "72", "-singlefile", Out("swatch.pdf"),
                           Out("swatch")}).status);
  const std::string ppm = ReadFile(Out("swatch.ppm"));
  const std::array<int, 3> stroke = PixelAt(ppm, 20, 50);  // on the frame's left edge
  const std::array<int, 3> field = PixelAt(ppm, 135, 45);  // inside the first block
  ASSERT_NE(stroke[0], -1);
  EXPECT_NE(stroke, (std::array<int, 3>{255, 255, 255}));
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(stroke[c], field[c], 2) << "channel " << c << " stroke " << stroke[0] << ","
                                        << stroke[1] << "," << stroke[2] << " field " << field[0]
                                        << "," << field[1] << "," << field[2];
  }
}

// The decompressed contents of every Flate stream of `pdf` (streams that do not inflate are left
// out), each followed by a line feed, and the PDF's own bytes.
std::string InflatedPdf(const std::string& pdf) {
  std::string all = pdf;
  size_t at = 0;
  while ((at = pdf.find("stream", at)) != std::string::npos) {
    size_t start = at + 6;
    if (pdf.compare(start, 2, "\r\n") == 0) {
      start += 2;
    } else if (start < pdf.size() && pdf[start] == '\n') {
      start += 1;
    } else {
      at = start;
      continue;
    }
    const size_t end = pdf.find("endstream", start);
    if (end == std::string::npos) break;
    z_stream z{};
    if (inflateInit(&z) == Z_OK) {
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(pdf.data() + start));
      z.avail_in = static_cast<uInt>(end - start);
      char buffer[65536];
      int result = Z_OK;
      while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        all.append(buffer, sizeof buffer - z.avail_out);
      }
      all += "\n";
      inflateEnd(&z);
    }
    at = end + 9;
  }
  return all;
}

// A page of text fields of full blocks, 60 x 60 pt side by side from x = 20 pt every 70 pt, in
// process swatches and tints, then a QR code field of the same size, then a frame of the master
// page stroked in one of the swatches.
nlohmann::json InkDocument(const std::vector<std::pair<std::string, int>>& colours) {
  const double right = 20 + 70 * (colours.size() + 1);
  nlohmann::json doc = OnePage("docName:::Inks|||", nlohmann::json::array(), right + 20, 100);
  doc["swatches"].push_back({{"name", "Cyan"}, {"model", "process"}, {"cmyk", {100, 0, 0, 0}}});
  doc["swatches"].push_back({{"name", "Navy"}, {"model", "process"}, {"cmyk", {100, 60, 0, 10}}});
  nlohmann::json frame = GraphicFrame(400, right, 10, 10, 80);
  frame["stroke"] = {{"weight", 4}, {"color", "Navy"}};
  nlohmann::json& items = doc["spreads"][0]["pages"][0]["items"];
  items.push_back(frame);
  for (size_t i = 0; i < colours.size(); ++i) {
    nlohmann::json text =
        TextFrame(401 + i, 20 + 70 * i, 20, 60, 60, "X", FieldTag("Ink" + std::to_string(i)));
    text["story"]["runs"][0]["size"] = 40;
    text["story"]["runs"][0]["leading"] = 48;
    text["story"]["runs"][0]["color"] = colours[i].first;
    text["story"]["runs"][0]["tint"] = colours[i].second;
    items.push_back(text);
  }
  items.push_back(TextFrame(450, right - 70, 20, 60, 60, "x", FieldTag("Qr", "4")));
  return doc;
}

TEST_F(RenderE2eTest, CmykOutputGivesFieldsTheirRecordsInks) {
  if (RunProcess({"/bin/sh", "-c", "command -v gs && command -v qpdf"}).status != 0) {
    GTEST_SKIP() << "Ghostscript or qpdf is not installed; scripts/bootstrap installs them";
  }
  struct Ink {
    const char* swatch;
    int tint;
    std::array<int, 4> cmyk;  // percent
  };
  const Ink inks[] = {{"Cyan", 100, {100, 0, 0, 0}},
                      {"Black", 100, {0, 0, 0, 100}},
                      {"Navy", 100, {100, 60, 0, 10}},
                      {"Cyan", 40, {40, 0, 0, 0}}};
  std::vector<std::pair<std::string, int>> colours;
  for (const Ink& ink : inks) colours.emplace_back(ink.swatch, ink.tint);
  const std::string id = Publish(world_.WriteDocument("inks.tlvd", InkDocument(colours)));
  const std::string values = work_.Write(
      "inks.json", R"({"Ink0": "\u2588 Ink", "Ink1": "\u2588 Ink", "Ink2": "\u2588 Ink",)"
                   R"( "Ink3": "\u2588 Ink", "Qr": "Q"})");
  auto render = [&](const std::vector<std::string>& extra, const std::string& out) {
    std::vector<std::string> argv = {BuiltProgram("osl-service"), "render", "--data",
                                     world_.dataDir(), id, "--values", values, Out(out)};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return RunProcess(argv);
  };
  // An RGB colour operator (rg / RG / a DeviceRGB colour space) anywhere in the PDF's streams.
  const std::regex rgb(R"re((^|\s)[-0-9.]+\s+[-0-9.]+\s+[-0-9.]+\s+(rg|RG)(\s|$)|/DeviceRGB)re");
  RunResult run = render({}, "rgb.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(std::regex_search(InflatedPdf(ReadFile(Out("rgb.pdf"))), rgb));  // the check sees RGB
  run = render({"--cmyk"}, "cmyk.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find(", CMYK)")) << run.out;
  EXPECT_FALSE(std::regex_search(InflatedPdf(ReadFile(Out("cmyk.pdf"))), rgb));
  // Text stays text, in its place.
  const std::vector<Word> words = Words(Out("cmyk.pdf"));
  ASSERT_EQ(4, std::count_if(words.begin(), words.end(),
                             [](const Word& word) { return word.text == "Ink"; }));

  // The inks as printed: Ghostscript rasterises the page to 8-bit CMYK (a profile-to-itself
  // conversion leaves DeviceCMYK as it is), read inside the first block of each field.
  ASSERT_EQ(0, RunProcess({"/usr/bin/gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE",
                           "-sDEVICE=bitcmyk", "-dGrayValues=256", "-r72",
                           "-sOutputFile=" + Out("inks.cmyk"), Out("cmyk.pdf")})
                   .status);
  const std::string raster = ReadFile(Out("inks.cmyk"));
  const int width = 20 + 70 * (static_cast<int>(std::size(inks)) + 1) + 20;
  ASSERT_EQ(width * 100u * 4u, raster.size());
  auto inkAt = [&](int x, int y) {
    std::array<int, 4> ink;
    for (int c = 0; c < 4; ++c) {
      ink[c] = static_cast<unsigned char>(raster[4u * (y * width + x) + c]) * 100 / 255;
    }
    return ink;
  };
  for (size_t i = 0; i <= std::size(inks); ++i) {
    // The last one: the centre of the QR code's top-left finder pattern, in pure black.
    const bool qr = i == std::size(inks);
    const Ink& ink = qr ? Ink{"QR code", 100, {0, 0, 0, 100}} : inks[i];
    const int left = 20 + 70 * static_cast<int>(i);
    const std::array<int, 4> got = qr ? inkAt(left + 15, 35) : inkAt(left + 15, 45);
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(ink.cmyk[c], got[c], 1)
          << ink.swatch << " " << ink.tint << "% channel "
          << "CMYK"[c] << ": " << got[0] << "/" << got[1] << "/" << got[2] << "/" << got[3];
    }
  }
  // The master page's frame is converted through the profile, not given exact inks: its Navy
  // keeps its look, so it is not the record's 100/60/0/10.
  const std::array<int, 4> frame = inkAt(width - 20, 50);
  EXPECT_NE((std::array<int, 4>{100, 60, 0, 10}), frame);
  EXPECT_GT(frame[0] + frame[1] + frame[2] + frame[3], 50);
}

// A page of placements: a dark square (a 1 pt frame stroked 220 pt wide, centred at 150,100)
// behind a QR code field 200 x 80 pt, a square image field, and three text fields 60 pt tall set
// at the top, in the middle and at the bottom of their frames.
nlohmann::json PlacementDocument() {
  nlohmann::json dark = GraphicFrame(300, 149.5, 99.5, 1, 1);
  dark["stroke"] = {{"weight", 220}, {"color", "Black"}};
  nlohmann::json qr = TextFrame(301, 50, 60, 200, 80, "x", FieldTag("Qr", "4"));
  nlohmann::json picture = GraphicFrame(302, 300, 20, 48, 48, FieldTag("Pic"));
  nlohmann::json items = {dark, qr, picture};
  const char* justification[] = {"top", "center", "bottom"};
  for (int i = 0; i < 3; ++i) {
    nlohmann::json text = TextFrame(303 + i, 20 + 120 * i, 250, 100, 60, "x",
                                    FieldTag(std::string("V") + justification[i]));
    text["verticalJustification"] = justification[i];
    items.push_back(text);
  }
  return OnePage("docName:::Placement|||", items, 400, 400);
}

// A 200 x 100 PNG in four quadrants: red, green above blue, yellow.
std::string QuadrantPng(const std::string& path) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 100);
  cairo_t* cr = cairo_create(surface);
  const double colours[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}};
  for (int q = 0; q < 4; ++q) {
    cairo_set_source_rgb(cr, colours[q][0], colours[q][1], colours[q][2]);
    cairo_rectangle(cr, (q % 2) * 100, (q / 2) * 50, 100, 50);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  return path;
}

TEST_F(RenderE2eTest, ImagesFitQrCodesCentreAndTextSitsWhereItsAlignmentSays) {
  const std::string id = Publish(world_.WriteDocument("placement.tlvd", PlacementDocument()));
  const std::string png = QuadrantPng(Out("quadrants.png"));
  RunResult run = Render(id,
                         R"({"Qr": "https://example.org/q", "Pic": ")" + png +
                             R"(", "Vtop": "Word", "Vcenter": "Word", "Vbottom": "Word"})",
                         "placement.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  ASSERT_EQ(0, RunProcess({"/usr/bin/pdftoppm", "-r", "72", "-singlefile", Out("placement.pdf"),
                           Out("placement")}).status);
  const std::string ppm = ReadFile(Out("placement.ppm"));
  auto near = [](std::array<int, 3> pixel, std::array<int, 3> want) {
    for (int c = 0; c < 3; ++c) {
      if (std::abs(pixel[c] - want[c]) > 40) return false;
    }
    return true;
  };
  const std::array<int, 3> white = {255, 255, 255}, black = {0, 0, 0};
  // The 2:1 picture fitted into the 48 pt square at (300, 20): 48 x 24 pt from y 32 to 56, its
  // four corners inside, the page's white above and below it.
  struct Probe {
    int x, y;
    std::array<int, 3> colour;
    const char* what;
  } probes[] = {
      {301, 33, {255, 0, 0}, "top-left corner"},     {346, 33, {0, 255, 0}, "top-right corner"},
      {301, 54, {0, 0, 255}, "bottom-left corner"},  {346, 54, {255, 255, 0}, "bottom-right corner"},
      {324, 24, white, "band above"},                {324, 63, white, "band below"},
      // The QR code: a square of 80 pt centred in the 200 x 80 frame (x 110 to 190), its white
      // quiet zone (4 of 29 modules: 11 pt) standing out of the dark square behind it.
      {104, 100, black, "dark left of the code"},    {112, 100, white, "quiet zone, left"},
      {187, 100, white, "quiet zone, right"},        {196, 100, black, "dark right of the code"},
      {150, 62, white, "quiet zone, top"},           {150, 137, white, "quiet zone, bottom"},
  };
  for (const Probe& probe : probes) {
    const std::array<int, 3> pixel = PixelAt(ppm, probe.x, probe.y);
    EXPECT_TRUE(near(pixel, probe.colour)) << probe.what << ": " << pixel[0] << "," << pixel[1]
                                           << "," << pixel[2];
  }
  if (RunProcess({"/bin/sh", "-c", "command -v zbarimg"}).status == 0) {
    ASSERT_EQ(0, RunProcess({"/usr/bin/pdftoppm", "-r", "200", "-png", "-singlefile",
                             Out("placement.pdf"), Out("placement")}).status);
    RunResult zbar = RunProcess({"/usr/bin/zbarimg", "-q", "--raw", Out("placement.png")});
    EXPECT_EQ("https://example.org/q\n", zbar.out) << zbar.err;
  }
  // The three words in their 60 pt frames (y 250 to 310): at the top, centred, at the bottom.
  std::vector<Word> words = Words(Out("placement.pdf"));
  std::vector<const Word*> placed;
  for (const Word& word : words) {
    if (word.text == "Word") placed.push_back(&word);
  }
  ASSERT_EQ(3u, placed.size()) << RunProcess({"/usr/bin/pdftotext", Out("placement.pdf"), "-"}).out;
  std::sort(placed.begin(), placed.end(),
            [](const Word* a, const Word* b) { return a->xMin < b->xMin; });
  EXPECT_NEAR(250, placed[0]->yMin, 3);
  EXPECT_NEAR(280, (placed[1]->yMin + placed[1]->yMax) / 2, 2);
  EXPECT_NEAR(310, placed[2]->yMax, 3);
  EXPECT_LT(placed[0]->yMax, placed[1]->yMin + 8);
  EXPECT_LT(placed[1]->yMax, placed[2]->yMin + 8);
}

// Pictures to look at: the samples filled with Latin, Arabic and CJK values and a photo, written
// to OSL_BUILD_DIR/pictures as PNG (150 dpi), together with the business card's proof set in
// Arabic. The test checks that every field was drawn and every picture written.
TEST_F(RenderE2eTest, SamplesFilledInThreeScriptsAreWrittenAsPictures) {
  const std::string folder = std::string(OSL_BUILD_DIR) + "/pictures";
  ::mkdir(folder.c_str(), 0755);
  const std::string photo = std::string(OSL_SOURCE_DIR) + "/examples/images/storefront.png";
  const std::string card = world_.CopyExample("business-card.tlvd");
  const std::string flyer = world_.CopyExample("flyer.tlvd");
  const std::string cardId = Publish(card);
  const std::string flyerId = Publish(flyer);
  struct Picture {
    std::string name, id, values;
  } pictures[] = {
      {"card-latin", cardId,
       R"({"FullName": "Ann Example", "JobTitle": "Head of Printing", "Phone": "+1 555 0100",
           "Email": "ann@example.org", "Logo": ")" + photo + R"("})"},
      {"card-arabic", cardId,
       R"({"FullName": "\u0644\u064a\u0644\u0649 \u062d\u062f\u0627\u062f",
           "JobTitle": "\u0645\u062f\u064a\u0631\u0629 \u0627\u0644\u0637\u0628\u0627\u0639\u0629",
           "Phone": "+971 4 555 0100", "Email": "layla@example.org", "Logo": ")" + photo + R"("})"},
      {"card-cjk", cardId,
       R"({"FullName": "\u738b\u5c0f\u660e \ud83c\udf38", "JobTitle": "\u5370\u5237\u4e3b\u7ba1",
           "Phone": "+81 3 5555 0100", "Email": "wang@example.org", "Logo": ")" + photo + R"("})"},
      {"flyer-mixed", flyerId,
       R"({"Headline": "\u6625\u5b63\u5927\u4fc3\u9500",
           "BodyCopy": "\u0643\u0644 \u0634\u064a\u0621 \u0641\u064a \u0642\u0633\u0645 \u0627\u0644\u062d\u062f\u064a\u0642\u0629 - Everything in the garden department",
           "Discount": "-20%", "StorePhoto": ")" + photo + R"("})"},
  };
  for (const Picture& picture : pictures) {
    SCOPED_TRACE(picture.name);
    RunResult run = Render(picture.id, picture.values, picture.name + ".pdf");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string::npos, run.out.find("not drawn")) << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("drawn as boxes")) << run.out;
    ASSERT_EQ(0, RunProcess({"/usr/bin/pdftoppm", "-r", "150", "-png", "-f", "1", "-singlefile",
                             Out(picture.name + ".pdf"), folder + "/" + picture.name})
                     .status);
    EXPECT_TRUE(Exists(folder + "/" + picture.name + ".png"));
  }
  // The proof of a card whose sample texts are Arabic: shaped, right to left.
  nlohmann::json arabic = ReadDocument(card);
  auto& items = arabic["spreads"][0]["pages"][0]["items"];
  items[1]["story"]["text"] = "\xD9\x84\xD9\x8A\xD9\x84\xD9\x89 \xD8\xAD\xD8\xAF\xD8\xA7\xD8\xAF";
  items[1]["story"]["runs"][0]["length"] = 9;
  const std::string proofDoc = world_.WriteDocument("arabic-card.tlvd", arabic);
  RunResult run = world_.Osl({"export-pdf", proofDoc, Out("proof-arabic.pdf")});
  ASSERT_EQ(0, run.status) << run.err;
  ASSERT_EQ(0, RunProcess({"/usr/bin/pdftoppm", "-r", "150", "-png", "-singlefile",
                           Out("proof-arabic.pdf"), folder + "/proof-card-arabic"}).status);
  EXPECT_TRUE(Exists(folder + "/proof-card-arabic.png"));
}

TEST_F(RenderE2eTest, MoveUpGroupClosesExactlyTheSharesOfEmptyMembers) {
  world_.CopyExample("business-card.tlvd");  // brings the images along
  const std::string id = Publish(world_.WriteDocument("stack.tlvd", StackDocument()));
  ASSERT_EQ(0, Render(id, R"({"Alpha": "a1", "Bravo": "b2", "Charlie": "c3", "Delta": "d4"})",
                      "full.pdf").status);
  // Bravo empty: Charlie depends on it and vanishes too; Delta moves up by both shares
  // (18 + 18 pt); Alpha stays. A value of only blanks and line breaks is as empty as "".
  std::vector<Word> full = Words(Out("full.pdf"));
  ASSERT_TRUE(FindWord(full, "d4") && FindWord(full, "b2"));
  for (const std::string bravo : {R"("")", R"("  ")", R"(" \n\r\t ")", R"("\u3000\u00a0")"}) {
    SCOPED_TRACE(bravo);
    RunResult run = Render(
        id, R"({"Alpha": "a1", "Bravo": )" + bravo + R"(, "Charlie": "c3", "Delta": "d4"})",
        "closed.pdf");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("Bravo: empty\n")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find("Delta: drawn, moved up by 36 pt\n")) << run.out;
    std::vector<Word> closed = Words(Out("closed.pdf"));
    ASSERT_TRUE(FindWord(closed, "d4"));
    EXPECT_NEAR(36.0, FindWord(full, "d4")->yMin - FindWord(closed, "d4")->yMin, 0.01);
    EXPECT_NEAR(FindWord(full, "a1")->yMin, FindWord(closed, "a1")->yMin, 0.01);
    EXPECT_EQ(nullptr, FindWord(closed, "c3"));
    // Delta now stands where Bravo stood.
    EXPECT_NEAR(FindWord(full, "b2")->yMin, FindWord(closed, "d4")->yMin, 0.01);
  }
  // One visible character among the blanks is a value: nothing moves.
  RunResult run = Render(id, R"({"Alpha": "a1", "Bravo": " \n.", "Charlie": "c3", "Delta": "d4"})",
                         "dot.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Delta: drawn\n")) << run.out;
}

TEST_F(RenderE2eTest, QrCodeFieldIsDecodableAndTextAreaWraps) {
  if (RunProcess({"/bin/sh", "-c", "command -v zbarimg"}).status != 0) {
    GTEST_SKIP() << "zbarimg (zbar-tools) is not installed; scripts/bootstrap installs it";
  }
  world_.CopyExample("business-card.tlvd");  // brings the images along
  const std::string id = Publish(world_.WriteDocument("stack.tlvd", StackDocument()));
  RunResult run = Render(id,
                         R"({"Link": "https://example.org/ann?x=1",
                             "Notes": "one two three four five six seven eight nine ten eleven"})",
                         "qr.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Link: drawn\n")) << run.out;
  ASSERT_EQ(0, RunProcess({"/usr/bin/pdftoppm", "-r", "200", "-png", "-singlefile", Out("qr.pdf"),
                           Out("qr")}).status);
  RunResult zbar = RunProcess({"/usr/bin/zbarimg", "-q", "--raw", Out("qr.png")});
  EXPECT_EQ("https://example.org/ann?x=1\n", zbar.out) << zbar.err;
  // The turned field reads upwards inside its upright box.
  run = Render(id, R"({"Turned": "UPWARDS"})", "turned.pdf");
  ASSERT_EQ(0, run.status) << run.err;
  const std::vector<Word> turned = Words(Out("turned.pdf"));
  const Word* up = FindWord(turned, "UPWARDS");
  ASSERT_NE(nullptr, up) << RunProcess({"/usr/bin/pdftotext", "-bbox", Out("turned.pdf"), "-"}).out;
  EXPECT_GT(up->yMax - up->yMin, 2 * (up->xMax - up->xMin));
  EXPECT_GE(up->xMin, 249.5);
  EXPECT_LE(up->xMax, 264.5);
  EXPECT_GE(up->yMin, 139.5);
  EXPECT_LE(up->yMax, 220.5);
  // The text area broke its text into lines inside its 120 pt width.
  std::vector<Word> words = Words(Out("qr.pdf"));
  const Word* one = FindWord(words, "one");
  const Word* eleven = FindWord(words, "eleven");
  ASSERT_TRUE(one && eleven);
  EXPECT_GT(eleven->yMin, one->yMin + 5);
  for (const Word& word : words) {
    if (word.xMin >= 159) {
      EXPECT_LE(word.xMax, 280.5) << word.text;
    }
  }
}

}  // namespace
}  // namespace osltest

// Laying out and drawing stories: only what fits the frame, characters a
// font lacks in a font that has them, fonts the machine lacks reported.
#include "standin/pdf/text_layout.h"

#include <gtest/gtest.h>

#include <string>

#include "standin/pdf/font_faces.h"
#include "tests/support/host_fixture.h"

namespace osltest {
namespace {

class TextLayout : public HostTest {
 protected:
  // A one-page document with text frame 10 of `width` x `height` holding
  // `text` in `font` (one run).
  standin::Document* OpenFrame(double width, double height, const std::string& text,
                               const std::string& font = "DejaVu Sans",
                               const std::string& style = "Book", double size = 10) {
    nlohmann::json doc = SampleDocument();
    auto& frame = doc["spreads"][0]["pages"][0]["items"][0];
    frame["bounds"] = {0, 0, width, height};
    frame["story"] = {{"text", text},
                      {"runs",
                       {{{"length", CharacterCount(text) + 1},
                         {"font", font},
                         {"style", style},
                         {"size", size}}}}};
    return Open(doc);
  }
  static size_t CharacterCount(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
  }
  standin::StoryLayout LayOut(standin::Document* doc) {
    faces_ = std::make_unique<standin::FontFaces>(host_.Fonts(), doc);
    return standin::LayOutStory(*doc->FindItem(10), *faces_);
  }
  static std::string ShownText(const standin::StoryLayout& layout) {
    std::string text;
    for (const auto& run : layout.runs) text += run.utf8;
    return text;
  }
  std::unique_ptr<standin::FontFaces> faces_;
};

TEST_F(TextLayout, TextThatFitsIsWholeAndNotOverset) {
  auto* doc = OpenFrame(200, 40, "Hello world\rSecond line");
  ASSERT_TRUE(doc);
  const auto layout = LayOut(doc);
  EXPECT_FALSE(layout.overset);
  EXPECT_EQ(layout.lines, 2u);
  EXPECT_EQ(ShownText(layout), "Hello worldSecond line");
}

TEST_F(TextLayout, LinesBelowTheFrameAreLeftOutAndMakeItOverset) {
  // 10 pt text with 12 pt leading: three lines fit 40 pt, not five.
  auto* doc = OpenFrame(200, 40, "one\rtwo\rthree\rfour\rfive");
  ASSERT_TRUE(doc);
  const auto layout = LayOut(doc);
  EXPECT_TRUE(layout.overset);
  EXPECT_EQ(layout.lines, 3u);
  EXPECT_EQ(ShownText(layout), "onetwothree");
  for (const auto& run : layout.runs) {
    for (const auto& glyph : run.glyphs) {
      EXPECT_LE(glyph.y, 40);
      EXPECT_GE(glyph.y, 0);
    }
  }
}

TEST_F(TextLayout, OnlyBlankLinesBelowTheFrameAreNotOverset) {
  auto* doc = OpenFrame(200, 14, "one\r\r  \r\t\r");
  ASSERT_TRUE(doc);
  const auto layout = LayOut(doc);
  EXPECT_EQ(layout.lines, 1u);
  EXPECT_FALSE(layout.overset);
}

TEST_F(TextLayout, AFrameTooSmallForOneLineShowsNothing) {
  auto* doc = OpenFrame(200, 5, "Hello");
  ASSERT_TRUE(doc);
  const auto layout = LayOut(doc);
  EXPECT_EQ(layout.lines, 0u);
  EXPECT_TRUE(layout.runs.empty());
  EXPECT_TRUE(layout.overset);
}

TEST_F(TextLayout, ALongStoryIsLaidOutOnlyAsFarAsTheFrameShows) {
  std::string text;
  while (text.size() < (4u << 20)) text += "garden sale weekend ";
  auto* doc = OpenFrame(100, 100, text);
  ASSERT_TRUE(doc);
  const auto layout = LayOut(doc);
  EXPECT_TRUE(layout.overset);
  EXPECT_EQ(layout.lines, 8u);
  EXPECT_LT(ShownText(layout).size(), 400u);
}

TEST_F(TextLayout, CharactersTheFontLacksComeFromAFontThatHasThem) {
  // DejaVu Sans has no CJK glyphs; the machine has a CJK font.
  auto* doc = OpenFrame(300, 40, "Tokyo \xE6\x9D\xB1\xE4\xBA\xAC ok");
  ASSERT_TRUE(doc);
  const auto layout = LayOut(doc);
  ASSERT_EQ(ShownText(layout), "Tokyo \xE6\x9D\xB1\xE4\xBA\xAC ok");
  // Each word in one run: the Latin ones in the frame's font, the CJK one in another.
  auto familyOf = [&](const std::string& word) {
    for (const auto& run : layout.runs) {
      if (run.utf8.find(word) != std::string::npos) return run.family;
    }
    return std::string("(no run)");
  };
  EXPECT_EQ(familyOf("Tokyo"), "DejaVu Sans");
  EXPECT_EQ(familyOf("ok"), "DejaVu Sans");
  const std::string cjk = familyOf("\xE6\x9D\xB1\xE4\xBA\xAC");
  EXPECT_NE(cjk, "DejaVu Sans");
  EXPECT_NE(cjk, "(no run)");
  EXPECT_FALSE(cjk.empty());
  // Every character has a real glyph (index 0 is the missing-glyph box).
  for (const auto& run : layout.runs) {
    for (const auto& glyph : run.glyphs) EXPECT_NE(glyph.index, 0u) << run.utf8;
  }
  EXPECT_TRUE(faces_->Substitutions().empty());
}

TEST_F(TextLayout, RightToLeftRunsAreShapedAndOrderedRightToLeft) {
  // A paragraph that starts in Arabic or Hebrew runs right to left: its
  // first word stands at the right, the Latin word after it to its left.
  struct Case {
    const char* text;
    const char* firstWord;  // logical order
  } cases[] = {
      {"\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 abc", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7"},
      {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D abc", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firstWord);
    auto* doc = OpenFrame(300, 40, c.text);
    ASSERT_TRUE(doc);
    const auto layout = LayOut(doc);
    ASSERT_EQ(layout.lines, 1u);
    const standin::GlyphRun* rtl = nullptr;
    const standin::GlyphRun* latin = nullptr;
    for (const auto& run : layout.runs) {
      if (run.utf8.find(c.firstWord) != std::string::npos) rtl = &run;
      if (run.utf8.find("abc") != std::string::npos) latin = &run;
    }
    ASSERT_TRUE(rtl && latin);
    ASSERT_GE(rtl->glyphs.size(), 4u);
    // A right-to-left paragraph starts at the right: the Latin word, last in
    // reading order, stands left of the right-to-left word.
    EXPECT_LT(latin->right, rtl->left + 0.5);
    for (const auto& run : layout.runs) {
      for (const auto& glyph : run.glyphs) EXPECT_NE(glyph.index, 0u) << run.utf8;
    }
  }
}

TEST_F(TextLayout, LatinLinesBreakAtSpacesAndAlignAsBefore) {
  // 10 pt DejaVu Sans: "garden sale " is about 60 pt wide; an 80 pt frame
  // holds "garden sale" then "weekend", each line starting at the frame's
  // left edge; centred and right-aligned lines end where their ink ends.
  auto* doc = OpenFrame(80, 60, "garden sale weekend");
  ASSERT_TRUE(doc);
  auto layout = LayOut(doc);
  ASSERT_EQ(layout.lines, 2u);
  ASSERT_EQ(layout.runs.size(), 2u);
  EXPECT_EQ(layout.runs[0].utf8, "garden sale ");
  EXPECT_EQ(layout.runs[1].utf8, "weekend");
  EXPECT_NEAR(layout.runs[0].left, 0, 0.01);
  EXPECT_NEAR(layout.runs[1].left, 0, 0.01);
  // Ascent of DejaVu Sans at 10 pt, then 12 pt of leading.
  EXPECT_NEAR(layout.runs[1].baseline - layout.runs[0].baseline, 12, 0.01);
  const double weekend = layout.runs[1].right - layout.runs[1].left;
  for (int align : {1, 2}) {
    const char* names[] = {"left", "center", "right"};
    nlohmann::json json = SampleDocument();
    auto& frame = json["spreads"][0]["pages"][0]["items"][0];
    frame["bounds"] = {0, 0, 80, 60};
    frame["story"] = {{"text", "weekend"},
                      {"runs",
                       {{{"length", 8}, {"font", "DejaVu Sans"}, {"style", "Book"},
                         {"size", 10}, {"align", names[align]}}}}};
    auto* aligned = Open(json);
    ASSERT_TRUE(aligned);
    layout = LayOut(aligned);
    ASSERT_EQ(layout.runs.size(), 1u);
    const double expected = align == 1 ? (80 - weekend) / 2 : 80 - weekend;
    EXPECT_NEAR(layout.runs[0].left, expected, 0.01) << align;
    EXPECT_NEAR(layout.runs[0].right - layout.runs[0].left, weekend, 0.01);
  }
}

TEST_F(TextLayout, AFontTheMachineLacksIsNamedWithItsSubstitute) {
  auto* doc = OpenFrame(300, 40, "Hello", "Corporate Nonesuch", "Bold");
  ASSERT_TRUE(doc);
  const auto layout = LayOut(doc);
  EXPECT_EQ(ShownText(layout), "Hello");
  ASSERT_EQ(faces_->Substitutions().size(), 1u);
  const std::string& note = faces_->Substitutions()[0];
  EXPECT_NE(note.find("\"Corporate Nonesuch Bold\" is not installed"), std::string::npos) << note;
  EXPECT_NE(note.find("drawn in \""), std::string::npos) << note;
  // Asked again, it is not noted again.
  faces_->Face("Corporate Nonesuch", "Bold");
  EXPECT_EQ(faces_->Substitutions().size(), 1u);
}

}  // namespace
}  // namespace osltest

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
  ASSERT_EQ(layout.runs.size(), 3u);
  EXPECT_EQ(layout.runs[0].utf8, "Tokyo ");
  EXPECT_EQ(layout.runs[1].utf8, "\xE6\x9D\xB1\xE4\xBA\xAC");
  EXPECT_EQ(layout.runs[2].utf8, " ok");
  EXPECT_NE(layout.runs[1].face, layout.runs[0].face);
  EXPECT_EQ(layout.runs[2].face, layout.runs[0].face);
  EXPECT_TRUE(faces_->HasGlyph(layout.runs[1].face, U'\u6771'));
  EXPECT_FALSE(faces_->HasGlyph(layout.runs[0].face, U'\u6771'));
  // Every character has a real glyph (index 0 is the missing-glyph box).
  for (const auto& run : layout.runs) {
    for (const auto& glyph : run.glyphs) EXPECT_NE(glyph.index, 0u) << run.utf8;
  }
  EXPECT_TRUE(faces_->Substitutions().empty());
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

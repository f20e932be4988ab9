// What host/ promises of text: a frame's story through its content object,
// the story's text with its closing end-of-story character, the attributes
// in force at a character and the frame's vertical justification.
#include <gtest/gtest.h>

#include <string>

#include "host/IPageItemData.h"
#include "host/ITextModel.h"
#include "host/InterfacePtr.h"
#include "tests/support/host_fixture.h"

namespace osltest {
namespace {

class HostText : public HostTest {
 protected:
  // The story of text frame `frame`, reached as a plug-in reaches it.
  InterfacePtr<ITextModel> StoryOf(standin::Document* doc, UID frame) {
    InterfacePtr<IGraphicFrameData> frameData(doc->Ref(frame), IID_IGRAPHICFRAMEDATA);
    if (!frameData) return InterfacePtr<ITextModel>();
    InterfacePtr<IMultiColumnItemData> content(doc->Ref(frameData->GetTextContentUID()),
                                               IID_IMULTICOLUMNITEMDATA);
    if (!content) return InterfacePtr<ITextModel>();
    return InterfacePtr<ITextModel>(doc->Ref(content->GetTextModelUID()), IID_ITEXTMODEL);
  }
};

nlohmann::json StyledDocument() {
  return nlohmann::json::parse(R"({
    "format": "tlvd", "label": "",
    "swatches": [{"name": "Blue", "model": "process", "cmyk": [100, 60, 0, 10]},
                 {"name": "Gold", "model": "spot", "cmyk": [0, 20, 60, 10]}],
    "spreads": [{"uid": 2, "pages": [{"uid": 3, "bounds": [0, 0, 300, 300], "items": [
      {"uid": 10, "kind": "text", "bounds": [0, 0, 200, 40], "verticalJustification": "bottom",
       "story": {"text": "Grüße 😀\rok", "runs": [
         {"length": 6, "font": "DejaVu Sans", "style": "Bold", "size": 14, "color": "Blue",
          "tint": 80, "tracking": -0.01, "leading": 16.5, "underline": true, "align": "center",
          "hscale": 90, "vscale": 110},
         {"length": 5, "font": "DejaVu Serif", "style": "Italic", "size": 9, "color": "Gold",
          "tint": -1, "align": "right"}]}},
      {"uid": 11, "kind": "text", "bounds": [0, 0, 100, 20],
       "story": {"text": "no colour", "runs": [{"length": 9, "font": "DejaVu Sans", "style": "Book",
                                                  "size": 8}]}},
      {"uid": 12, "kind": "text", "bounds": [0, 0, 100, 20],
       "story": {"text": "inline", "runs": [{"length": 7, "color":
          {"model": "spot", "name": "Pantone 123", "cmyk": [0, 19, 89, 0]}}]}},
      {"uid": 13, "kind": "text", "bounds": [0, 0, 100, 20]}
    ]}]}]})");
}

TEST_F(HostText, StoryTextEndsWithTheEndOfStoryCharacter) {
  auto* doc = Open(StyledDocument());
  ASSERT_TRUE(doc);
  auto story = StoryOf(doc, 10);
  ASSERT_TRUE(story);
  // Characters are counted as UTF-32: the emoji is one.
  EXPECT_EQ(story->TotalLength(), 11);
  std::u32string text;
  story->GetText(0, story->TotalLength(), &text);
  EXPECT_EQ(text, U"Grüße 😀\rok\r");
  text.clear();
  story->GetText(0, story->TotalLength() - 1, &text);
  EXPECT_EQ(text, U"Grüße 😀\rok");
  // Clamped to the story; appends to what is there.
  story->GetText(9, 100, &text);
  EXPECT_EQ(text, U"Grüße 😀\rokk\r");
  text.clear();
  story->GetText(-5, 7, &text);
  EXPECT_EQ(text, U"Gr");
  story->GetText(20, 3, &text);
  story->GetText(0, -1, &text);
  EXPECT_EQ(text, U"Gr");

  // A frame without a story member has an empty story: only the end mark.
  auto empty = StoryOf(doc, 13);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->TotalLength(), 1);
  text.clear();
  empty->GetText(0, 1, &text);
  EXPECT_EQ(text, U"\r");
  InterfacePtr<ITextAttributes> none(empty->QueryAttributesAt(0));
  ASSERT_TRUE(none);
  PMString family;
  EXPECT_FALSE(none->GetFontFamily(&family));
  ColorInfo color;
  EXPECT_FALSE(none->GetFillColor(&color));
}

TEST_F(HostText, AttributesOfTheFirstCharacterAndOfLaterRuns) {
  auto* doc = Open(StyledDocument());
  ASSERT_TRUE(doc);
  auto story = StoryOf(doc, 10);
  ASSERT_TRUE(story);
  InterfacePtr<ITextAttributes> first(story->QueryAttributesAt(0));
  ASSERT_TRUE(first);
  PMString family, style;
  ASSERT_TRUE(first->GetFontFamily(&family));
  ASSERT_TRUE(first->GetFontStyle(&style));
  EXPECT_EQ(family.GetUTF8String(), "DejaVu Sans");
  EXPECT_EQ(style.GetUTF8String(), "Bold");
  PMReal value = 0;
  ASSERT_TRUE(first->GetPointSize(&value));
  EXPECT_EQ(value, 14);
  ColorInfo color;
  ASSERT_TRUE(first->GetFillColor(&color));
  EXPECT_EQ(color.kind, ColorInfo::kProcess);
  EXPECT_EQ(color.name.GetUTF8String(), "Blue");
  EXPECT_DOUBLE_EQ(color.c, 1.0);
  EXPECT_DOUBLE_EQ(color.m, 0.6);
  EXPECT_DOUBLE_EQ(color.y, 0.0);
  EXPECT_DOUBLE_EQ(color.k, 0.1);
  ASSERT_TRUE(first->GetFillTint(&value));
  EXPECT_EQ(value, 80);
  ASSERT_TRUE(first->GetTracking(&value));
  EXPECT_DOUBLE_EQ(value, -0.01);
  ASSERT_TRUE(first->GetLeading(&value));
  EXPECT_EQ(value, 16.5);
  bool16 underline = 0;
  ASSERT_TRUE(first->GetUnderline(&underline));
  EXPECT_TRUE(underline);
  ITextAttributes::Alignment alignment = ITextAttributes::kAlignLeft;
  ASSERT_TRUE(first->GetParagraphAlignment(&alignment));
  EXPECT_EQ(alignment, ITextAttributes::kAlignCenter);
  ASSERT_TRUE(first->GetHorizontalScale(&value));
  EXPECT_DOUBLE_EQ(value, 0.9);
  ASSERT_TRUE(first->GetVerticalScale(&value));
  EXPECT_DOUBLE_EQ(value, 1.1);

  // Character 5 (the space) is the last of the first run; 6 (the emoji)
  // starts the second, which also covers the end-of-story character.
  InterfacePtr<ITextAttributes> space(story->QueryAttributesAt(5));
  ASSERT_TRUE(space->GetPointSize(&value));
  EXPECT_EQ(value, 14);
  for (int32 index : {6, 10}) {
    InterfacePtr<ITextAttributes> second(story->QueryAttributesAt(index));
    ASSERT_TRUE(second) << index;
    ASSERT_TRUE(second->GetPointSize(&value));
    EXPECT_EQ(value, 9);
    ASSERT_TRUE(second->GetFillColor(&color));
    EXPECT_EQ(color.kind, ColorInfo::kSpot);
    EXPECT_EQ(color.name.GetUTF8String(), "Gold");
    ASSERT_TRUE(second->GetFillTint(&value));
    EXPECT_EQ(value, -1);
    // Attributes the run does not carry are absent, outputs untouched.
    value = 42;
    EXPECT_FALSE(second->GetTracking(&value));
    EXPECT_FALSE(second->GetHorizontalScale(&value));
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(second->GetUnderline(&underline));
  }
  EXPECT_FALSE(story->QueryAttributesAt(11));
  EXPECT_FALSE(story->QueryAttributesAt(-1));
}

TEST_F(HostText, RunsWithoutFillColourAndInlineColours) {
  auto* doc = Open(StyledDocument());
  ASSERT_TRUE(doc);
  auto story = StoryOf(doc, 11);
  ASSERT_TRUE(story);
  InterfacePtr<ITextAttributes> first(story->QueryAttributesAt(0));
  ASSERT_TRUE(first);
  ColorInfo color;
  color.name = PMString("untouched");
  EXPECT_FALSE(first->GetFillColor(&color));
  EXPECT_EQ(color.name.GetUTF8String(), "untouched");
  PMReal tint = 0;
  // No tint member: the run has none.
  ASSERT_TRUE(first->GetFillTint(&tint));
  EXPECT_EQ(tint, -1);
  PMReal size = 0;
  EXPECT_TRUE(first->GetPointSize(&size));

  auto inlineStory = StoryOf(doc, 12);
  InterfacePtr<ITextAttributes> spot(inlineStory->QueryAttributesAt(0));
  ASSERT_TRUE(spot->GetFillColor(&color));
  EXPECT_EQ(color.kind, ColorInfo::kSpot);
  EXPECT_EQ(color.name.GetUTF8String(), "Pantone 123");
  EXPECT_DOUBLE_EQ(color.y, 0.89);
  PMString family;
  EXPECT_FALSE(spot->GetFontFamily(&family));
}

TEST_F(HostText, FramesTellTheirVerticalJustification) {
  auto* doc = Open(StyledDocument());
  ASSERT_TRUE(doc);
  InterfacePtr<ITextFrameOptions> bottom(doc->Ref(10), IID_ITEXTFRAMEOPTIONS);
  ASSERT_TRUE(bottom);
  EXPECT_EQ(bottom->GetVerticalJustification(), ITextFrameOptions::kBottomAlign);
  InterfacePtr<ITextFrameOptions> unset(doc->Ref(11), IID_ITEXTFRAMEOPTIONS);
  EXPECT_EQ(unset->GetVerticalJustification(), ITextFrameOptions::kTopAlign);
  EXPECT_FALSE(InterfacePtr<ITextFrameOptions>(doc->Ref(3), IID_ITEXTFRAMEOPTIONS));

  std::string error;
  auto example = standin::Document::Load(std::string(OSL_SOURCE_DIR) + "/examples/flyer.tlvd",
                                         host_.Files().Get(), &error);
  ASSERT_TRUE(example) << error;
  InterfacePtr<ITextFrameOptions> centred(example->Ref(20), IID_ITEXTFRAMEOPTIONS);
  EXPECT_EQ(centred->GetVerticalJustification(), ITextFrameOptions::kCenterAlign);
}

}  // namespace
}  // namespace osltest

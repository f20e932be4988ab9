#include "model/tag_map.h"

#include <gtest/gtest.h>

#include "tests/support/plugin_host.h"

namespace osltest {
namespace {

const PMString kLabel("|||");
const PMString kGroups("---");

TagMap Parse(const char* text, const PMString& sep = kLabel) {
  return ParseStringMap(PMString(text), sep);
}
std::string Join(const TagMap& map, const PMString& sep = kLabel) {
  return JoinStringMap(map, sep).GetUTF8String();
}
std::string Get(const TagMap& map, const char* key) {
  auto it = map.find(PMString(key));
  return it == map.end() ? "<absent>" : it->second.GetUTF8String();
}

TEST(TagMapFormat, ParseRules) {
  EXPECT_TRUE(Parse("").empty());
  EXPECT_EQ(Join(TagMap()), "");

  // The last entry lacks its closing separator and is dropped.
  TagMap partial = Parse("a:::1|||b:::2");
  EXPECT_EQ(partial.size(), 1u);
  EXPECT_EQ(Get(partial, "a"), "1");

  // Segments with an empty key or without ":::" are skipped.
  EXPECT_TRUE(Parse(":::x|||").empty());
  EXPECT_TRUE(Parse("novalue|||").empty());
  EXPECT_EQ(Parse("novalue|||k:::v|||").size(), 1u);

  // The value is everything after the first ":::".
  EXPECT_EQ(Get(Parse("k:::v:::w|||"), "k"), "v:::w");
  EXPECT_EQ(Get(Parse("k:::|||"), "k"), "");

  // A later entry with the same key wins, and is written once.
  TagMap twice = Parse("k:::1|||k:::2|||");
  EXPECT_EQ(Get(twice, "k"), "2");
  EXPECT_EQ(Join(twice), "k:::2|||");
}

TEST(TagMapFormat, KeysAreWrittenInAscendingOrder) {
  EXPECT_EQ(Join(Parse("promptText:::p|||fieldName:::f|||")), "fieldName:::f|||promptText:::p|||");
  // Upper-case letters sort before lower-case ones (code unit order).
  EXPECT_EQ(Join(Parse("docID:::1|||StackingGroups:::|||MemberofGroup:::g|||")),
            "MemberofGroup:::g|||StackingGroups:::|||docID:::1|||");
}

TEST(TagMapFormat, NestedStackingGroups) {
  TagMap doc = Parse("StackingGroups:::Address:::1---Phone:::0---|||docName:::Card|||");
  ASSERT_EQ(Get(doc, "StackingGroups"), "Address:::1---Phone:::0---");
  TagMap groups = ParseStringMap(doc[PMString("StackingGroups")], kGroups);
  EXPECT_EQ(groups.size(), 2u);
  EXPECT_EQ(Get(groups, "Address"), "1");
  EXPECT_EQ(Get(groups, "Phone"), "0");
  // Rebuilding the nested value and the label gives the same text back.
  doc[PMString("StackingGroups")] = JoinStringMap(groups, kGroups);
  EXPECT_EQ(Join(doc), "StackingGroups:::Address:::1---Phone:::0---|||docName:::Card|||");
}

TEST(TagMapFormat, NonAsciiTextSurvives) {
  TagMap map;
  map[PMString("promptText")] = PMString("Straße – 東京 😀");
  EXPECT_EQ(Get(Parse(Join(map).c_str()), "promptText"), "Straße – 東京 😀");
}

// Text a user types can contain the separators; it must never turn into
// other entries when the label is read back.
TEST(TagMapFormat, TypedSeparatorsCannotInjectOrDropEntries) {
  TagMap map;
  map[PMString("fieldName")] = PMString("Name");
  map[PMString("promptText")] = PMString("x|||fieldName:::Evil|||controlType:::4");
  const TagMap back = Parse(Join(map).c_str());
  EXPECT_EQ(back.size(), 2u);
  EXPECT_EQ(Get(back, "fieldName"), "Name");
  EXPECT_EQ(Get(back, "promptText"), "xfieldName:::EvilcontrolType:::4");

  // Separator characters at the end of a value would merge with the
  // separator that follows and shift the next key.
  TagMap tail;
  tail[PMString("a")] = PMString("ends with ||");
  tail[PMString("b")] = PMString("2");
  const TagMap tailBack = Parse(Join(tail).c_str());
  EXPECT_EQ(Get(tailBack, "a"), "ends with ");
  EXPECT_EQ(Get(tailBack, "b"), "2");

  // Removing a separator must not create a new one ("||" + "|||" + "|").
  TagMap nested;
  nested[PMString("p")] = PMString("||||||x||||");
  EXPECT_EQ(Parse(Join(nested).c_str()).size(), 1u);

  // Group names are keys of the nested list: "---" and ":::" in them must
  // not create or rename groups.
  TagMap groups;
  groups[PMString("Sales---Evil:::1")] = PMString("0");
  groups[PMString("Team-")] = PMString("1-");
  groups[PMString("a:")] = PMString("1");
  const TagMap groupsBack = ParseStringMap(JoinStringMap(groups, kGroups), kGroups);
  EXPECT_EQ(groupsBack.size(), 3u);
  EXPECT_EQ(Get(groupsBack, "SalesEvil1"), "0");
  EXPECT_EQ(Get(groupsBack, "Team-"), "1");
  EXPECT_EQ(Get(groupsBack, "a"), "1");

  // Ordinary values are written exactly as given.
  EXPECT_EQ(CleanMapValue(PMString("a-b|c:::d"), kLabel).GetUTF8String(), "a-b|c:::d");
}

class TagMapObjects : public PluginHostTest {};

TEST_F(TagMapObjects, ReadModifyWriteKeepsUnknownKeys) {
  auto* doc = Open(SampleDocument());
  const UIDRef item = doc->Ref(10);
  TagMap tag = ReadStringMap(item);
  EXPECT_EQ(Get(tag, "fieldName"), "Name");
  tag[PMString("promptText")] = PMString("Your name");
  (void)tag[PMString("Dependson")];  // a lookup inserts an empty value
  WriteStringMap(item, tag);
  EXPECT_EQ(doc->FindItem(10)->label.GetUTF8String(),
            "Dependson:::|||controlType:::0|||fieldName:::Name|||promptText:::Your name|||");

  // A writer that knows only one key keeps the others.
  doc->SetItemLabel(doc->FindItem(11), WideString("futureKey:::42|||fieldName:::Logo|||"));
  TagMap other = ReadStringMap(doc->Ref(11));
  other[PMString("controlType")] = PMString("1");
  WriteStringMap(doc->Ref(11), other);
  EXPECT_EQ(doc->FindItem(11)->label.GetUTF8String(),
            "controlType:::1|||fieldName:::Logo|||futureKey:::42|||");
  EXPECT_TRUE(doc->IsDirty());
}

TEST_F(TagMapObjects, MissingLabelInterfaceReadsEmptyAndIsNotWritten) {
  auto* doc = Open(SampleDocument());
  // The story object has no label interface.
  const UIDRef story = doc->Ref(doc->FindItem(10)->storyUID);
  EXPECT_TRUE(ReadStringMap(story).empty());
  TagMap map;
  map[PMString("fieldName")] = PMString("X");
  WriteStringMap(story, map);
  EXPECT_TRUE(ReadStringMap(story).empty());
  EXPECT_TRUE(ReadStringMap(UIDRef()).empty());
  WriteStringMap(UIDRef(), map);  // no crash
}

TEST_F(TagMapObjects, SelectionSideNeedsExactlyOneLabel) {
  auto* doc = Open(SampleDocument());
  auto* selection = Selection().Interface();
  TagMap map;
  Selection().SelectItems(doc, {10, 11});
  EXPECT_EQ(GetSelectionLabels(selection).size(), 2u);
  EXPECT_FALSE(ReadSelectionStringMap(selection, &map));

  Selection().SelectItems(doc, {10});
  ASSERT_TRUE(ReadSelectionStringMap(selection, &map));
  EXPECT_EQ(Get(map, "fieldName"), "Name");
  map[PMString("promptText")] = PMString("Prompt");
  EXPECT_TRUE(WriteSelectionStringMap(selection, map));
  EXPECT_EQ(Get(ReadStringMap(doc->Ref(10)), "promptText"), "Prompt");
}

}  // namespace
}  // namespace osltest

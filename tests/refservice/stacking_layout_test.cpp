// The stacking rule on its own: which fields count as empty and how far each member moves.
#include "refservice/render/stacking_layout.h"

#include <gtest/gtest.h>

namespace refservice {
namespace {

// A one-line field 14 pt tall whose top edge is `top` points from the top of a 400 pt page.
RenderField Member(const std::string& name, double top, int group, int page = 1,
                   double left = 20) {
  RenderField field;
  field.name = name;
  field.hasRect = true;
  field.x1 = left;
  field.x2 = left + 100;
  field.y2 = 400 - top;
  field.y1 = field.y2 - 14;
  field.logicGroupId = group;
  field.pageNumber = page;
  return field;
}

TEST(StackingLayoutTest, MoveUpGivesEachEmptyMembersShareToTheMembersBelow) {
  // Tops 100, 118, 140, 154: shares 18, 22, 14; stored out of order on purpose.
  std::vector<RenderField> fields = {Member("d", 154, 1), Member("a", 100, 1), Member("b", 118, 1),
                                     Member("c", 140, 1), Member("free", 200, 0)};
  std::vector<RenderGroup> groups = {{1, "G", false}};
  std::vector<double> moves = StackingMoves(fields, groups, {false, false, true, true, false});
  EXPECT_DOUBLE_EQ(0, moves[1]);        // a: above the empty ones
  EXPECT_DOUBLE_EQ(22 + 14, moves[0]);  // d: below b (share 22) and c (share 14)
  EXPECT_DOUBLE_EQ(22, moves[3]);       // c: below b only
  EXPECT_DOUBLE_EQ(0, moves[4]);        // outside any group
  // The lowest member empty moves nothing.
  moves = StackingMoves(fields, groups, {true, false, false, false, false});
  for (double move : moves) EXPECT_DOUBLE_EQ(0, move);
}

TEST(StackingLayoutTest, MoveDownMirrorsItFromTheBottomUp) {
  std::vector<RenderField> fields = {Member("a", 100, 1), Member("b", 118, 1), Member("c", 136, 1)};
  std::vector<RenderGroup> groups = {{1, "G", true}};
  std::vector<double> moves = StackingMoves(fields, groups, {false, false, true});
  EXPECT_DOUBLE_EQ(-18, moves[0]);
  EXPECT_DOUBLE_EQ(-18, moves[1]);
  moves = StackingMoves(fields, groups, {true, false, false});
  for (double move : moves) EXPECT_DOUBLE_EQ(0, move);  // the top member gives nothing
  moves = StackingMoves(fields, groups, {false, true, true});
  EXPECT_DOUBLE_EQ(-36, moves[0]);
}

TEST(StackingLayoutTest, PagesSideBySideMembersAndUnknownGroupsKeepTheirPlaces) {
  std::vector<RenderField> fields = {Member("a", 100, 1, 1), Member("b", 118, 1, 2),
                                     Member("c", 100, 1, 1, 200), Member("d", 130, 7, 1)};
  std::vector<RenderGroup> groups = {{1, "G", false}};
  std::vector<double> moves = StackingMoves(fields, groups, {true, false, false, true});
  EXPECT_DOUBLE_EQ(0, moves[1]);  // another page
  EXPECT_DOUBLE_EQ(0, moves[2]);  // same top: a share of 0
  EXPECT_DOUBLE_EQ(0, moves[3]);  // group 7 is not defined
}

TEST(StackingLayoutTest, DependantsOfEmptyFieldsCountAsEmptyThroughChainsNotCycles) {
  std::vector<RenderField> fields = {Member("a", 0, 0), Member("b", 0, 0), Member("c", 0, 0),
                                     Member("x", 0, 0), Member("y", 0, 0), Member("z", 0, 0)};
  fields[1].dependsOn = "a";
  fields[2].dependsOn = "b";
  fields[3].dependsOn = "y";  // x and y depend on each other, both filled
  fields[4].dependsOn = "x";
  fields[5].dependsOn = "nobody";
  std::vector<bool> empty =
      EffectiveEmpty(fields, {true, false, false, false, false, false});
  EXPECT_EQ((std::vector<bool>{true, true, true, false, false, false}), empty);
}

TEST(StackingLayoutTest, OnlyBlanksAndLineBreaksCountAsBlank) {
  struct Case {
    const char* text;
    bool blank;
  } cases[] = {
      {"", true},
      {" \t\r\n", true},
      {"\xC2\xA0\xE3\x80\x80\xE2\x80\xA8\xEF\xBB\xBF", true},  // NBSP, ideographic space, LS, BOM
      {"  .", false},
      {"\n\xE6\x9D\xB1", false},              // a CJK character
      {" \xF0\x9F\x98\x80", false},           // an emoji
      {" \xC2", false},                       // cut short: not UTF-8, so shown
      {"\x80 ", false},                       // a stray continuation byte
      {"\xE2\x80\x8C", false},                 // zero-width non-joiner is not a space
  };
  for (const Case& c : cases) EXPECT_EQ(c.blank, IsBlank(c.text)) << c.text;
}

}  // namespace
}  // namespace refservice

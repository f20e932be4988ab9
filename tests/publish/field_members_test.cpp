// The dry run's comparison of a field record before and after a publish: every member counts,
// the first and the last of the fixed order included.
#include "publish/field_members.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace osltest {
namespace {

using osl_soap::OstrFieldInfo;

TEST(FieldMembers, EveryMemberIsCompared) {
  OstrFieldInfo base;
  std::string name = "Name", rect = "0 0 10 10";
  base.fieldName = &name;
  base.pdfRect = &rect;
  const FieldMembers before = DescribeField(nullptr, base, "none");
  ASSERT_GE(before.size(), 3u);
  EXPECT_TRUE(ChangedMembers(before, before).empty());

  struct Case {
    const char* member;
    void (*edit)(OstrFieldInfo*);
  };
  const Case cases[] = {
      {"pageNumber", [](OstrFieldInfo* f) { f->pageNumber = 7; }},
      {"fontForceFit", [](OstrFieldInfo* f) { f->fontForceFit = !f->fontForceFit; }},
      {"fontVerticalScale", [](OstrFieldInfo* f) { f->fontVerticalScale = 42; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    OstrFieldInfo edited = base;
    c.edit(&edited);
    const FieldMembers after = DescribeField(nullptr, edited, "none");
    const std::vector<size_t> changed = ChangedMembers(before, after);
    ASSERT_EQ(1u, changed.size());
    EXPECT_EQ(c.member, after[changed[0]].first);
  }
  // The last member of the order is compared too.
  FieldMembers shorter = before;
  shorter.back().second += "x";
  EXPECT_EQ(std::vector<size_t>{before.size() - 1}, ChangedMembers(before, shorter));
  shorter.pop_back();
  EXPECT_EQ(std::vector<size_t>{before.size() - 1}, ChangedMembers(before, shorter));
}

}  // namespace
}  // namespace osltest

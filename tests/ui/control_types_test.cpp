// Control-type codes, list positions and display keys.
#include "model/control_types.h"

#include <gtest/gtest.h>

#include <string>

namespace osltest {
namespace {

using controltypes::FrameKind;

TEST(ControlTypes, PositionsSkipThePickerCodeBothWays) {
  const int32 codes[] = {0, 1, 3, 4};
  for (int32 p = 0; p < 4; ++p) {
    EXPECT_EQ(codes[p], controltypes::CodeOfPosition(p)) << p;
    EXPECT_EQ(p, controltypes::PositionOfCode(codes[p])) << p;
  }
  // Code 2 is never offered but shows at position 2; the disabled list's
  // position 4 stores 5, which shows past the end of either list.
  EXPECT_EQ(2, controltypes::PositionOfCode(2));
  EXPECT_EQ(controltypes::kDisabledListCode,
            controltypes::CodeOfPosition(controltypes::kDisabledListPosition));
  EXPECT_EQ(4, controltypes::PositionOfCode(5));
}

TEST(ControlTypes, ListsAndDisplayKeys) {
  ASSERT_EQ(4, controltypes::ListLength(FrameKind::kText));
  ASSERT_EQ(3, controltypes::ListLength(FrameKind::kGraphic));
  const char* text[] = {"0x199e00kOslTypeKeyBox", "0x199e00kOslTypeKeyArea",
                        "0x199e00kOslTypeKeyRich", "0x199e00kOslTypeKeyBarcode"};
  const char* graphic[] = {"0x199e00kOslTypeKeyStandardimageupload",
                           "0x199e00kOslTypeKeyAdvancedimageupload",
                           "0x199e00kOslTypeKeyNonprintable"};
  for (int32 p = 0; p < 4; ++p) EXPECT_STREQ(text[p], controltypes::ListKey(FrameKind::kText, p));
  for (int32 p = 0; p < 3; ++p) {
    EXPECT_STREQ(graphic[p], controltypes::ListKey(FrameKind::kGraphic, p));
  }
  EXPECT_EQ(nullptr, controltypes::ListKey(FrameKind::kText, 4));
  EXPECT_EQ(nullptr, controltypes::ListKey(FrameKind::kGraphic, 3));
  EXPECT_EQ(nullptr, controltypes::ListKey(FrameKind::kText, -1));

  EXPECT_STREQ("0x199e00kOslTypeKeyPicker", controltypes::DisplayKeyOfCode(FrameKind::kText, 2));
  EXPECT_STREQ("0x199e00kOslTypeKeyImagepicker",
               controltypes::DisplayKeyOfCode(FrameKind::kGraphic, 2));
  EXPECT_STREQ("0x199e00kOslTypeKeyRich", controltypes::DisplayKeyOfCode(FrameKind::kText, 3));
  EXPECT_STREQ("0x199e00kOslTypeKeyNonprintable",
               controltypes::DisplayKeyOfCode(FrameKind::kGraphic, 3));
  EXPECT_EQ(nullptr, controltypes::DisplayKeyOfCode(FrameKind::kGraphic, 4));
  EXPECT_EQ(nullptr, controltypes::DisplayKeyOfCode(FrameKind::kText, 5));
  EXPECT_EQ(nullptr, controltypes::DisplayKeyOfCode(FrameKind::kText, -1));
}

}  // namespace
}  // namespace osltest

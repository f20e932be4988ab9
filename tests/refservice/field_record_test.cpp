// The stored form of field records: what this build writes reads back whole, records of the
// previous build (whole XML documents) still read, and what is neither is refused.
#include "refservice/templates/field_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "osl_soapH.h"

namespace refservice {
namespace {

using namespace osl_soap;

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(OSL_SOURCE_DIR) + "/tests/refservice/data/field_answers/" + name,
                   std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(FieldRecordCodecTest, StoredFormReadsBackEveryKindOfMember) {
  FieldRecordCodec codec;
  struct soap* soap = codec.reader();
  ASSERT_NE(soap, nullptr);
  ns2__OstrFieldInfo field;
  field.soap_default(soap);
  std::string name = "Name & <more>", prompt = "Stra\xc3\x9f" "e \"q\" ]]> \r\n\t";
  field.fieldName = &name;
  field.promptText = &prompt;
  field.pageNumber = -3;
  field.controlType = ns2__enumControlType__advImageUpload;
  field.positionOverrideWidth = std::nan("");
  field.imageBorderWidth = -HUGE_VAL;
  ns2__fieldLockDown lock;
  lock.soap_default(soap);
  ns2__PaletteInfo palette;
  palette.soap_default(soap);
  ns2__ArrayOfString colors;
  colors.string = {"0 0 0 100", ""};
  palette.colors = &colors;
  lock.defaultPalette = &palette;
  field.fieldLockdown = &lock;
  ns2__ArrayOfInt ranges;
  ranges.int_ = {72, 300};
  field.imageQualityRanges = &ranges;
  int paletteId = 68;
  field.paletteID = &paletteId;

  std::string stored;
  ASSERT_TRUE(codec.ToStored(field, &stored));
  EXPECT_TRUE(FieldRecordCodec::IsAnswerForm(stored));
  EXPECT_EQ(stored.find("xmlns"), std::string::npos) << "namespaces belong to the envelope";
  EXPECT_EQ(stored.find("<?xml"), std::string::npos);

  const ns2__OstrFieldInfo* back = codec.FromStored(stored);
  ASSERT_NE(back, nullptr);
  ASSERT_NE(back->fieldName, nullptr);
  EXPECT_EQ(*back->fieldName, name);
  ASSERT_NE(back->promptText, nullptr);
  EXPECT_EQ(*back->promptText, prompt);
  EXPECT_EQ(back->pageNumber, -3);
  EXPECT_EQ(back->controlType, ns2__enumControlType__advImageUpload);
  EXPECT_TRUE(std::isnan(back->positionOverrideWidth));
  EXPECT_EQ(back->imageBorderWidth, -HUGE_VAL);
  ASSERT_NE(back->fieldLockdown, nullptr);
  ASSERT_NE(back->fieldLockdown->defaultPalette, nullptr);
  ASSERT_NE(back->fieldLockdown->defaultPalette->colors, nullptr);
  EXPECT_EQ(back->fieldLockdown->defaultPalette->colors->string, colors.string);
  ASSERT_NE(back->imageQualityRanges, nullptr);
  EXPECT_EQ(back->imageQualityRanges->int_, ranges.int_);
  ASSERT_NE(back->paletteID, nullptr);
  EXPECT_EQ(*back->paletteID, 68);
  EXPECT_EQ(back->toolTip, nullptr);

  // Written again, the record read back is the same bytes: nothing was lost on the way.
  std::string again;
  ASSERT_TRUE(codec.ToStored(*back, &again));
  EXPECT_EQ(again, stored);
  std::string answer = "head";
  ASSERT_TRUE(codec.AppendAnswer(stored, &answer));
  EXPECT_EQ(answer, "head" + stored);
}

TEST(FieldRecordCodecTest, PreviousBuildsRecordIsReadAndAnsweredInTheStoredForm) {
  FieldRecordCodec codec;
  const std::string legacy = ReadData("stored-0.legacy.xml");
  ASSERT_EQ(legacy.rfind("<?xml", 0), 0u) << "test data missing";
  EXPECT_FALSE(FieldRecordCodec::IsAnswerForm(legacy));
  const ns2__OstrFieldInfo* field = codec.FromStored(legacy);
  ASSERT_NE(field, nullptr);
  ASSERT_NE(field->fieldName, nullptr);
  EXPECT_EQ(*field->fieldName, "Name");
  ASSERT_NE(field->fieldLockdown, nullptr);
  EXPECT_EQ(field->fieldLockdown->minFontSize, 6);

  std::string written;
  ASSERT_TRUE(codec.ToStored(*field, &written));
  std::string answer;
  ASSERT_TRUE(codec.AppendAnswer(legacy, &answer));
  EXPECT_EQ(answer, written);
  // The answer of the previous build carried exactly these bytes for the record.
  EXPECT_NE(ReadData("get-1.answer.xml").find("<ns2:getFieldsResult>" + answer),
            std::string::npos);
}

TEST(FieldRecordCodecTest, TextOfNeitherFormIsRefusedAndLeavesTheAnswerAlone) {
  FieldRecordCodec codec;
  const std::string cut = ReadData("stored-1.legacy.xml").substr(0, 300);
  for (const std::string& text :
       {std::string(), std::string("garbage"), cut,
        std::string("<ns2:OstrFieldInfo><ns2:fieldName>x</ns2:fieldName>")}) {
    EXPECT_EQ(codec.FromStored(text), nullptr) << text;
    std::string answer = "kept";
    EXPECT_FALSE(codec.AppendAnswer(text, &answer)) << text;
    EXPECT_EQ(answer, "kept");
  }
  EXPECT_FALSE(FieldRecordCodec::IsAnswerForm("<ns2:OstrFieldInfoX></ns2:OstrFieldInfo>"));
  EXPECT_TRUE(FieldRecordCodec::IsAnswerForm("<ns2:OstrFieldInfo></ns2:OstrFieldInfo>"));
}

}  // namespace
}  // namespace refservice

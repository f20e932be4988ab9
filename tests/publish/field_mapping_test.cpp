// The pure parts of a field record: control-type mapping, text alignment,
// rotation, the PDF rectangle and the file base name.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "publish/field_extraction.h"
#include "publish/my_strings.h"
#include "publish/publish_sequence.h"

namespace osltest {
namespace {

using namespace osl_soap;

std::string Text(const std::string* text) { return text ? *text : "<nil>"; }

struct Mapped {
  ns2__enumControlType type;
  std::string ddValue, fieldType, dataSource;
  ns2__barcodeType barcode;
  int pickerGroup;
};

Mapped Map(const char* code, bool textFrame, bool newRecord = true) {
  my_strings strings;
  OstrFieldInfo record;
  MapControlType(PMString(code), textFrame, newRecord, strings, &record);
  return {record.controlType,
          Text(record.setup_USCOREcontrolTypeDDValue),
          Text(record.setup_USCOREradioFieldType),
          Text(record.setup_USCOREradioDataSource),
          record.barCode,
          record.imagePickerGroup};
}

TEST(ControlTypeMapping, TextFramesMapEveryStoredCode) {
  struct Row {
    const char* code;
    ns2__enumControlType type;
    const char* dd;
    const char* fieldType;
  } rows[] = {{"0", ns2__enumControlType__textBox, "textBox", "text"},
              {"1", ns2__enumControlType__textArea, "textArea", "text"},
              {"2", ns2__enumControlType__dropDown, "dropDown", "text"},
              {"3", ns2__enumControlType__richText, "richText", "text"},
              {"4", ns2__enumControlType__textBox, "textBox", "barcode"}};
  for (const Row& row : rows) {
    const Mapped m = Map(row.code, true);
    EXPECT_EQ(row.type, m.type) << row.code;
    EXPECT_EQ(row.dd, m.ddValue) << row.code;
    EXPECT_EQ(row.fieldType, m.fieldType) << row.code;
    EXPECT_EQ("user", m.dataSource) << row.code;
    EXPECT_EQ(std::string(row.code) == "4" ? ns2__barcodeType__qrCode : ns2__barcodeType__none,
              m.barcode);
    EXPECT_EQ(0, m.pickerGroup);
  }
}

TEST(ControlTypeMapping, OtherItemsMapImagesPickerAndNonPrintableAreas) {
  const Mapped standard = Map("0", false);
  EXPECT_EQ(ns2__enumControlType__stdImageUpload, standard.type);
  EXPECT_EQ("stdImageUpload", standard.ddValue);
  EXPECT_EQ("image", standard.fieldType);
  EXPECT_EQ("user", standard.dataSource);
  const Mapped advanced = Map("1", false);
  EXPECT_EQ(ns2__enumControlType__advImageUpload, advanced.type);
  EXPECT_EQ("advImageUpload", advanced.ddValue);
  const Mapped picker = Map("2", false);
  EXPECT_EQ(ns2__enumControlType__imagePicker, picker.type);
  EXPECT_EQ("100", picker.ddValue);
  EXPECT_EQ("image", picker.fieldType);
  EXPECT_EQ(1, picker.pickerGroup);
  const Mapped nonPrintable = Map("3", false);
  EXPECT_EQ(ns2__enumControlType__stdImageUpload, nonPrintable.type);
  EXPECT_EQ("stdImageUpload", nonPrintable.ddValue);
  EXPECT_EQ("nonprint", nonPrintable.fieldType);
  EXPECT_EQ("graphic", nonPrintable.dataSource);
}

TEST(ControlTypeMapping, CodesWithoutARowKeepTypeAndListValueButNameTheKindOfField) {
  for (const char* code : {"4", "5", "", "x"}) {
    const Mapped other = Map(code, false);
    EXPECT_EQ(ns2__enumControlType__textBox, other.type) << code;  // the default, 0
    EXPECT_EQ("<nil>", other.ddValue) << code;
    EXPECT_EQ("image", other.fieldType) << code;
    EXPECT_EQ("user", other.dataSource) << code;
  }
  const Mapped text = Map("5", true);
  EXPECT_EQ("<nil>", text.ddValue);
  EXPECT_EQ("text", text.fieldType);
  EXPECT_EQ("user", text.dataSource);
}

TEST(ControlTypeMapping, AReusedRecordKeepsItsDataSourceAndWhatTheMappingDoesNotName) {
  my_strings strings;
  OstrFieldInfo record;
  std::string source = "graphic", dd = "richText";
  record.setup_USCOREradioDataSource = &source;
  record.setup_USCOREcontrolTypeDDValue = &dd;
  record.controlType = ns2__enumControlType__richText;
  MapControlType(PMString("5"), true, false, strings, &record);
  EXPECT_EQ(&source, record.setup_USCOREradioDataSource);
  EXPECT_EQ(&dd, record.setup_USCOREcontrolTypeDDValue);
  EXPECT_EQ(ns2__enumControlType__richText, record.controlType);
  MapControlType(PMString("1"), true, false, strings, &record);
  EXPECT_EQ("graphic", *record.setup_USCOREradioDataSource);
  EXPECT_EQ("textArea", *record.setup_USCOREcontrolTypeDDValue);
  EXPECT_EQ(ns2__enumControlType__textArea, record.controlType);
}

TEST(FieldAlignmentTable, CombinesParagraphAlignmentWithVerticalJustification) {
  EXPECT_EQ(ns2__enumTextAlignment__topLeft, FieldAlignment(0, 0));
  EXPECT_EQ(ns2__enumTextAlignment__topCenter, FieldAlignment(1, 0));
  EXPECT_EQ(ns2__enumTextAlignment__topRight, FieldAlignment(2, 0));
  EXPECT_EQ(ns2__enumTextAlignment__middleLeft, FieldAlignment(0, 1));
  EXPECT_EQ(ns2__enumTextAlignment__middleCenter, FieldAlignment(1, 1));
  EXPECT_EQ(ns2__enumTextAlignment__middleRight, FieldAlignment(2, 1));
  EXPECT_EQ(ns2__enumTextAlignment__bottomLeft, FieldAlignment(0, 2));
  EXPECT_EQ(ns2__enumTextAlignment__bottomCenter, FieldAlignment(1, 2));
  EXPECT_EQ(ns2__enumTextAlignment__bottomRight, FieldAlignment(2, 2));
  // Justified and unknown alignments are top left whatever the row.
  EXPECT_EQ(ns2__enumTextAlignment__topLeft, FieldAlignment(3, 2));
  EXPECT_EQ(ns2__enumTextAlignment__topLeft, FieldAlignment(-1, 1));
}

TEST(FieldRotationAngle, CountsTheOtherWayRoundAndKeepsZero) {
  EXPECT_DOUBLE_EQ(0, FieldRotation(0));
  EXPECT_FALSE(std::signbit(FieldRotation(-0.0)));
  EXPECT_DOUBLE_EQ(5e-9, FieldRotation(5e-9));
  EXPECT_DOUBLE_EQ(270, FieldRotation(90));
  EXPECT_DOUBLE_EQ(345, FieldRotation(15));
  EXPECT_DOUBLE_EQ(0, FieldRotation(360));
  EXPECT_DOUBLE_EQ(350, FieldRotation(370));
  EXPECT_DOUBLE_EQ(350, FieldRotation(730));
  // Negative angles are not reduced: -30 is sent as 390 (the same turn).
  EXPECT_DOUBLE_EQ(390, FieldRotation(-30));
  // A hostile angle ends quickly.
  EXPECT_DOUBLE_EQ(0, FieldRotation(1e300 * 1e300));
  const double big = FieldRotation(1e18);
  EXPECT_GE(big, 0);
  EXPECT_LE(big, 360);
}

TEST(FieldPdfRectangle, IsLowerLeftOriginWithThreeDecimals) {
  EXPECT_EQ("10.000 60.000 110.000 80.000",
            FieldPdfRect(PMRect(10, 20, 110, 40), 100).GetUTF8String());
  EXPECT_EQ("0.125 0.000 1.500 99.667",
            FieldPdfRect(PMRect(0.125, 1.0 / 3, 1.5, 100), 100).GetUTF8String());
}

TEST(SafeName, KeepsAsciiLettersAndDigitsOnly) {
  EXPECT_EQ("BusinessCard2", SafeTemplateName(PMString("Business Card #2")).GetUTF8String());
  EXPECT_EQ("Mller", SafeTemplateName(PMString("M\xc3\xbcller")).GetUTF8String());
  // Nothing left: the files get a stem all the same, never a bare ".pdf".
  EXPECT_EQ("template", SafeTemplateName(PMString("--- / ...")).GetUTF8String());
  EXPECT_EQ("template", SafeTemplateName(PMString("")).GetUTF8String());
  EXPECT_EQ("etc", SafeTemplateName(PMString("../../etc")).GetUTF8String());
}

}  // namespace
}  // namespace osltest

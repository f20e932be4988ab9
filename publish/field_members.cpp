#include "publish/field_members.h"

#include <algorithm>

#include "osl_soapH.h"
#include "publish/tool_report_writer.h"

namespace {

using osl_soap::OstrFieldInfo;

std::string Text(const std::string* text) { return text ? *text : std::string("(absent)"); }

std::string Flag(bool value) { return value ? "true" : "false"; }

}  // namespace

FieldMembers DescribeField(struct soap* soap, const osl_soap::OstrFieldInfo& f,
                           const std::string& groupName) {
  const char* controlType =
      soap ? osl_soap::soap_ns2__enumControlType2s(soap, f.controlType) : nullptr;
  return {
      {"pageNumber", std::to_string(f.pageNumber)},
      {"pdfRect", Text(f.pdfRect)},
      {"rotation", NumberText(f.rotation)},
      {"rotationPoint", std::to_string(static_cast<int>(f.rotationPoint))},
      {"zOrder", std::to_string(f.zOrder)},
      {"controlType", controlType ? controlType : std::to_string(static_cast<int>(f.controlType))},
      {"setup_radioFieldType", Text(f.setup_USCOREradioFieldType)},
      {"setup_controlTypeDDValue", Text(f.setup_USCOREcontrolTypeDDValue)},
      {"setup_radioDataSource", Text(f.setup_USCOREradioDataSource)},
      {"barCode", std::to_string(static_cast<int>(f.barCode))},
      {"imagePickerGroup", std::to_string(static_cast<int>(f.imagePickerGroup))},
      {"promptText", Text(f.promptText)},
      {"logicGroup", groupName},
      {"logicDependsOn", Text(f.logicDependsOn)},
      {"defaultValue", Text(f.defaultValue)},
      {"setup_defaultValueHTML", Text(f.setup_USCOREdefaultValueHTML)},
      {"forProduction", Flag(f.forProduction)},
      {"forProof", Flag(f.forProof)},
      {"fieldEntryRequired", Flag(f.fieldEntryRequired)},
      {"maxLength", std::to_string(f.maxLength)},
      {"imageBorder", Flag(f.imageBorder)},
      {"imageBorderWidth", NumberText(f.imageBorderWidth)},
      {"imageBorderCMYK", Text(f.imageBorderCMYK)},
      {"fontOpacity", NumberText(f.fontOpacity)},
      {"fontName", Text(f.fontName)},
      {"fontFileName", Text(f.fontFileName)},
      {"fontSize", NumberText(f.fontSize)},
      {"fontColorC", NumberText(f.fontColorC)},
      {"fontColorM", NumberText(f.fontColorM)},
      {"fontColorY", NumberText(f.fontColorY)},
      {"fontColorK", NumberText(f.fontColorK)},
      {"fontSpotColorName", Text(f.fontSpotColorName)},
      {"fontTracking", NumberText(f.fontTracking)},
      {"fontLeading", NumberText(f.fontLeading)},
      {"fontUnderline", Flag(f.fontUnderline)},
      {"fontAlignment", std::to_string(static_cast<int>(f.fontAlignment))},
      {"fontForceFit", Flag(f.fontForceFit)},
      {"fontHorizontalScale", NumberText(f.fontHorizontalScale)},
      {"fontVerticalScale", NumberText(f.fontVerticalScale)},
  };
}

std::vector<size_t> ChangedMembers(const FieldMembers& before, const FieldMembers& after) {
  std::vector<size_t> changed;
  const size_t count = std::max(before.size(), after.size());
  for (size_t i = 0; i < count; ++i) {
    if (i >= before.size() || i >= after.size() || before[i].second != after[i].second) {
      changed.push_back(i);
    }
  }
  return changed;
}

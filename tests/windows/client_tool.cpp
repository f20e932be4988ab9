// The service client of either build against a running osl-service, for
// client_publish_test.sh: the settings file beside PLUGIN names the service
// and the account.
//   client_tool PLUGIN FILE   (osl_windows_client_tool, osl_linux_client_tool)
// Lists the account's templates (none expected), creates a template
// (setTemplate with the zero GUID), lists them again (that one), sets two
// fields and uploads FILE as "photo.png". Prints one line per step and the
// uploaded file's address last. Exit status 0 when every step did what it
// should, 1 (with a line saying which step failed) otherwise.
#include <cstdio>
#include <string>

#include "service_client/messages.h"
#include "service_client/plugin_data.h"
#include "service_client/service_calls.h"
#include "service_client/upload.h"
#include "tests/windows/test_session.h"

using namespace osl_soap;

namespace {

constexpr char kZeroGuid[] = "00000000-0000-0000-0000-000000000000";

int Fail(const char* step, struct soap* soap) {
  std::printf("FAILED: %s\n%s\n", step, soap ? FormatSoapFaultReport(soap).c_str() : "");
  return 1;
}

int ListTemplates(struct soap* soap, _ns4__getLibraryTemplatesResponse& response) {
  OslPlugInData& data = GetOslPlugInData();
  _ns4__getLibraryTemplates request;
  request.email = OslNewString(soap, data.user);
  request.password = OslNewString(soap, data.password);
  return CallGetLibraryTemplates(soap, data.documentEndpoint.GetPlatformString().c_str(), nullptr,
                                 &request, response);
}

size_t Count(const _ns4__getLibraryTemplatesResponse& response) {
  return response.getLibraryTemplatesResult
             ? response.getLibraryTemplatesResult->libraryTemplate.size()
             : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: client_tool PLUGIN FILE\n");
    return 2;
  }
  osltest::TestSession session(argv[1]);
  OslPlugInData& data = GetOslPlugInData();
  if (!data.IsConfigured()) return Fail("the settings file names no server", nullptr);
  OslSoapContext context;
  struct soap* soap = context.get();
  const std::string manager = data.templateEndpoint.GetPlatformString();

  _ns4__getLibraryTemplatesResponse before;
  if (ListTemplates(soap, before) != 0 || Count(before) != 0) return Fail("getLibraryTemplates", soap);
  std::printf("getLibraryTemplates: %zu templates\n", Count(before));

  _ns2__setTemplate set;
  set.userEmail = data.user.GetUTF8String();
  set.userPassword = data.password.GetUTF8String();
  libraryTemplate info;
  info.docName = OslNewString(soap, std::string("Business card"));
  info.docID = kZeroGuid;
  info.docPassword = kZeroGuid;
  info.isActive = true;
  info.docPageCount = 1;
  info.docWidth = "255.118";
  info.docHeight = "155.906";
  info.docBleed = "8.504";
  info.clientType = 1;
  set.templateInfo = &info;
  _ns2__setTemplateResponse created;
  if (CallSetTemplate(soap, manager.c_str(), nullptr, &set, created) != 0 ||
      !created.setTemplateResult || created.setTemplateResult->docID.size() != 36 ||
      created.setTemplateResult->docID == kZeroGuid) {
    return Fail("setTemplate", soap);
  }
  const std::string id = created.setTemplateResult->docID;
  std::printf("setTemplate: a new template\n");

  _ns4__getLibraryTemplatesResponse after;
  if (ListTemplates(soap, after) != 0 || Count(after) != 1 ||
      !after.getLibraryTemplatesResult->libraryTemplate[0] ||
      after.getLibraryTemplatesResult->libraryTemplate[0]->docID != id) {
    return Fail("getLibraryTemplates after setTemplate", soap);
  }
  std::printf("getLibraryTemplates: %zu template, the new one\n", Count(after));

  OstrFieldInfo name, photo;
  name.fieldName = OslNewString(soap, std::string("Name"));
  name.controlType = ns2__enumControlType__textBox;
  photo.fieldName = OslNewString(soap, std::string("Photo"));
  photo.controlType = ns2__enumControlType__stdImageUpload;
  ArrayOfOstrFieldInfo fields;
  fields.OstrFieldInfo = {&name, &photo};
  _ns2__setFields setFields;
  setFields.userEmail = set.userEmail;
  setFields.userPassword = set.userPassword;
  setFields.docCode = id;
  setFields.docPassword = created.setTemplateResult->docPassword;
  setFields.docFields = &fields;
  setFields.deleteOthers = true;
  _ns2__setFieldsResponse fieldsSet;
  if (CallSetFields(soap, manager.c_str(), nullptr, &setFields, fieldsSet) != 0) {
    return Fail("setFields", soap);
  }
  std::printf("setFields: 2 fields\n");

  const std::string address =
      UploadFile(PMString(argv[2], PMString::kDontTranslateDuringCall),
                 PMString("photo.png", PMString::kDontTranslateDuringCall))
          .GetUTF8String();
  if (address.empty()) return Fail("upload", nullptr);
  std::printf("upload: %s\n", address.c_str());
  return 0;
}

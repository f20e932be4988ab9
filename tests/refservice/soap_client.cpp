#include "tests/refservice/soap_client.h"

#include <gtest/gtest.h>

#include <sstream>

#include "schema/soap_namespaces.h"

namespace osltest {

using namespace osl_soap;

void SoapContextDeleter::operator()(struct soap* soap) const {
  soap_destroy(soap);
  soap_end(soap);
  soap_free(soap);
}

SoapContext NewClientContext() {
  SoapContext soap(soap_new1(SOAP_C_UTFSTRING | SOAP_XML_NIL));
  soap_set_namespaces(soap.get(), OslSoapNamespaces());
  soap->connect_timeout = 10;
  soap->send_timeout = 10;
  soap->recv_timeout = 10;
  return soap;
}

std::string Text(const std::string* value) { return value != nullptr ? *value : "<nil>"; }

std::string FaultText(struct soap* soap) {
  const char* text = soap_fault_string(soap);
  return text ? text : "";
}

std::string ToXml(const ns2__OstrFieldInfo& field) {
  SoapContext soap = NewClientContext();
  std::ostringstream stream;
  soap->os = &stream;
  EXPECT_EQ(soap_write_ns2__OstrFieldInfo(soap.get(), &field), SOAP_OK);
  soap->os = nullptr;
  return stream.str();
}

SoapClient::SoapClient(uint16_t port, std::string email, std::string password)
    : soap_(NewClientContext()),
      email_(std::move(email)),
      password_(std::move(password)),
      builder_("http://127.0.0.1:" + std::to_string(port) + "/services/builddoc.asmx"),
      manager_("http://127.0.0.1:" + std::to_string(port) + "/services/templateMgr.svc") {}

template <typename Request>
void SoapClient::Fill(Request* request, const std::string& id, const std::string& idPassword) {
  request->userEmail = email_;
  request->userPassword = password_;
  request->docCode = id;
  request->docPassword = idPassword;
}

int SoapClient::GetLibraryTemplates(const std::string& email, const std::string& password,
                                    std::vector<ns4__libraryTemplate*>* out) {
  _ns4__getLibraryTemplates request;
  request.email = soap_new_std__string(soap());
  *request.email = email;
  request.password = soap_new_std__string(soap());
  *request.password = password;
  _ns4__getLibraryTemplatesResponse response;
  int rc =
      soap_call___ns4__getLibraryTemplates(soap(), builder_.c_str(), nullptr, &request, response);
  out->clear();
  if (rc == SOAP_OK && response.getLibraryTemplatesResult) {
    *out = response.getLibraryTemplatesResult->libraryTemplate;
  }
  return rc;
}

int SoapClient::SetTemplate(const std::string& email, const std::string& password,
                            const std::string& name, const std::string* code,
                            const std::string* codePassword, ns2__libraryTemplate** out) {
  _ns2__setTemplate request;
  request.userEmail = email;
  request.userPassword = password;
  if (code) request.docCode = soap_new_std__string(soap()), *request.docCode = *code;
  if (codePassword) {
    request.docPassword = soap_new_std__string(soap());
    *request.docPassword = *codePassword;
  }
  request.templateInfo = soap_new_ns2__libraryTemplate(soap());
  request.templateInfo->docName = soap_new_std__string(soap());
  *request.templateInfo->docName = name;
  request.templateInfo->docID = code ? *code : kZeroGuidText;
  request.templateInfo->docPassword = codePassword ? *codePassword : kZeroGuidText;
  request.templateInfo->isActive = true;
  request.templateInfo->docPageCount = 2;
  request.templateInfo->docWidth = "612";
  request.templateInfo->docHeight = "792";
  request.templateInfo->docBleed = "0";
  request.templateInfo->clientType = 1;
  _ns2__setTemplateResponse response;
  int rc = soap_call___ns5__setTemplate(soap(), manager_.c_str(), nullptr, &request, response);
  *out = rc == SOAP_OK ? response.setTemplateResult : nullptr;
  return rc;
}

std::pair<std::string, std::string> SoapClient::CreateTemplate(const std::string& name) {
  ns2__libraryTemplate* created = nullptr;
  EXPECT_EQ(SetTemplate(email_, password_, name, nullptr, nullptr, &created), SOAP_OK)
      << FaultText(soap());
  if (created == nullptr) return {};
  return {created->docID, created->docPassword};
}

int SoapClient::GetFields(const std::string& email, const std::string& password,
                          const std::string& id, const std::string& idPassword,
                          std::vector<ns2__OstrFieldInfo*>* out) {
  _ns2__getFields request;
  Fill(&request, id, idPassword);
  request.userEmail = email;
  request.userPassword = password;
  _ns2__getFieldsResponse response;
  int rc = soap_call___ns5__getFields(soap(), manager_.c_str(), nullptr, &request, response);
  out->clear();
  if (rc == SOAP_OK && response.getFieldsResult) *out = response.getFieldsResult->OstrFieldInfo;
  return rc;
}

int SoapClient::SetFields(const std::string& id, const std::string& idPassword,
                          std::vector<ns2__OstrFieldInfo*> fields, bool deleteOthers,
                          std::vector<ns2__OstrFieldInfo*>* out) {
  _ns2__setFields request;
  Fill(&request, id, idPassword);
  request.docFields = soap_new_ns2__ArrayOfOstrFieldInfo(soap());
  request.docFields->OstrFieldInfo = std::move(fields);
  request.deleteOthers = deleteOthers;
  _ns2__setFieldsResponse response;
  int rc = soap_call___ns5__setFields(soap(), manager_.c_str(), nullptr, &request, response);
  out->clear();
  if (rc == SOAP_OK && response.setFieldsResult) *out = response.setFieldsResult->OstrFieldInfo;
  return rc;
}

int SoapClient::GetLogicGroups(const std::string& id, const std::string& idPassword,
                               std::vector<ns2__logicGroup*>* out) {
  _ns2__getLogicGroups request;
  Fill(&request, id, idPassword);
  _ns2__getLogicGroupsResponse response;
  int rc = soap_call___ns5__getLogicGroups(soap(), manager_.c_str(), nullptr, &request, response);
  out->clear();
  if (rc == SOAP_OK && response.getLogicGroupsResult) {
    *out = response.getLogicGroupsResult->logicGroup;
  }
  return rc;
}

int SoapClient::SetLogicGroups(const std::string& id, const std::string& idPassword,
                               const std::vector<std::pair<int, std::string>>& groups,
                               std::vector<ns2__logicGroup*>* out) {
  _ns2__setLogicGroups request;
  Fill(&request, id, idPassword);
  request.logicGroups = soap_new_ns2__ArrayOfLogicGroup(soap());
  for (const auto& [groupId, name] : groups) {
    auto* group = soap_new_ns2__logicGroup(soap());
    group->logicGroupID = groupId;
    group->logicGroupName = soap_new_std__string(soap());
    *group->logicGroupName = name;
    group->moveDirection = ns2__eMoveDirection__moveDown;
    request.logicGroups->logicGroup.push_back(group);
  }
  _ns2__setLogicGroupsResponse response;
  int rc = soap_call___ns5__setLogicGroups(soap(), manager_.c_str(), nullptr, &request, response);
  out->clear();
  if (rc == SOAP_OK && response.setLogicGroupsResult) {
    *out = response.setLogicGroupsResult->logicGroup;
  }
  return rc;
}

int SoapClient::SetAssets(const std::string& id, const std::string& idPassword,
                          const std::vector<AssetSpec>& assets, std::vector<ns2__assetInfo*>* out) {
  _ns2__setAssets request;
  Fill(&request, id, idPassword);
  request.assets = soap_new_ns2__ArrayOfAssetInfo(soap());
  for (const AssetSpec& spec : assets) {
    auto* asset = soap_new_ns2__assetInfo(soap());
    asset->assetURL = soap_new_std__string(soap());
    *asset->assetURL = spec.url;
    asset->assetName = soap_new_std__string(soap());
    *asset->assetName = spec.name;
    asset->assetType = spec.type;
    request.assets->assetInfo.push_back(asset);
  }
  _ns2__setAssetsResponse response;
  int rc = soap_call___ns5__setAssets(soap(), manager_.c_str(), nullptr, &request, response);
  out->clear();
  if (rc == SOAP_OK && response.setAssetsResult) *out = response.setAssetsResult->assetInfo;
  return rc;
}

int SoapClient::CommitTemplate(const std::string& id, const std::string& idPassword,
                               ns2__libraryTemplate** out) {
  _ns2__commitTemplate request;
  Fill(&request, id, idPassword);
  _ns2__commitTemplateResponse response;
  int rc = soap_call___ns5__commitTemplate(soap(), manager_.c_str(), nullptr, &request, response);
  *out = rc == SOAP_OK ? response.commitTemplateResult : nullptr;
  return rc;
}

ns2__OstrFieldInfo* SoapClient::NewField(const std::string& name) {
  auto* field = soap_new_ns2__OstrFieldInfo(soap());
  field->fieldName = soap_new_std__string(soap());
  *field->fieldName = name;
  return field;
}

}  // namespace osltest

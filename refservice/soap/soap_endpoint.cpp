#include "refservice/soap/soap_endpoint.h"

#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>

#include "osl_soapH.h"
#include "refservice/templates/field_record.h"
#include "refservice/common/identifiers.h"
#include "schema/soap_namespaces.h"

namespace refservice {
namespace {

struct OperationInfo {
  const char* name;
  const char* actionSuffix;  // appended to the document-builder namespace URI
  const char* path;
};

constexpr OperationInfo kOperations[] = {
    {"getLibraryTemplates", "getLibraryTemplates", kDocumentBuilderPath},
    {"setTemplate", "ItemplateMgr/setTemplate", kTemplateManagerPath},
    {"getFields", "ItemplateMgr/getFields", kTemplateManagerPath},
    {"setFields", "ItemplateMgr/setFields", kTemplateManagerPath},
    {"getLogicGroups", "ItemplateMgr/getLogicGroups", kTemplateManagerPath},
    {"setLogicGroups", "ItemplateMgr/setLogicGroups", kTemplateManagerPath},
    {"setAssets", "ItemplateMgr/setAssets", kTemplateManagerPath},
    {"commitTemplate", "ItemplateMgr/commitTemplate", kTemplateManagerPath},
};

struct SoapDeleter {
  void operator()(struct soap* soap) const {
    soap_destroy(soap);
    soap_end(soap);
    soap_free(soap);
  }
};
using SoapPtr = std::unique_ptr<struct soap, SoapDeleter>;

// A context with the service's namespace table, UTF-8 strings and nil elements for absent members.
SoapPtr NewContext() {
  SoapPtr soap(soap_new1(SOAP_C_UTFSTRING | SOAP_XML_NIL));
  if (soap) soap_set_namespaces(soap.get(), OslSoapNamespaces());
  return soap;
}

}  // namespace

// Everything one request's operation needs; reached through soap->user.
struct SoapRequestContext {
  TemplateManager* manager = nullptr;
  std::string path;
  std::string action;           // SOAPAction without quotes, possibly empty
  std::string actionOperation;  // the operation the SOAPAction names, or empty
  SoapOverride overrideKind = SoapOverride::kNone;
  std::string_view body;
  size_t bodyPos = 0;
  std::string out;
  FieldRecordCodec codec;
  // getFields and setFields answer their records in the stored form: the handler keeps the
  // records here (each in the answer form) and leaves the result array empty; Serve puts their
  // bytes inside the array's element of the written answer.
  std::vector<FieldData> answerFields;
  std::string_view fieldResultElement;  // "ns2:getFieldsResult" or "ns2:setFieldsResult"
  // Set by the calls that follow setTemplate in a publish run: the account and template they
  // name, so that a fault answered to them ends the run's publish lease.
  std::optional<std::pair<Credentials, TemplateKey>> runCall;
};

namespace {

SoapRequestContext* ContextOf(struct soap* soap) {
  return static_cast<SoapRequestContext*>(soap->user);
}

size_t ReceiveBody(struct soap* soap, char* buffer, size_t size) {
  SoapRequestContext* context = ContextOf(soap);
  size_t left = context->body.size() - context->bodyPos;
  size_t n = left < size ? left : size;
  std::memcpy(buffer, context->body.data() + context->bodyPos, n);
  context->bodyPos += n;
  return n;
}

int SendToString(struct soap* soap, const char* data, size_t size) {
  ContextOf(soap)->out.append(data, size);
  return SOAP_OK;
}

int Fault(struct soap* soap, bool client, const std::string& reason) {
  const char* text = soap_strdup(soap, reason.c_str());
  return client ? soap_sender_fault(soap, text, nullptr) : soap_receiver_fault(soap, text, nullptr);
}

int Fault(struct soap* soap, const ServiceError& error) {
  return Fault(soap, error.client, error.reason);
}

// Notes that `request` is one of a publish run's calls after setTemplate (getLogicGroups,
// setLogicGroups, setFields, setAssets, commitTemplate). Call before Begin, so that an injected
// fault counts too.
template <class Request>
void NoteRunCall(struct soap* soap, const Request* request) {
  if (request == nullptr) return;
  ContextOf(soap)->runCall.emplace(Credentials{request->userEmail, request->userPassword},
                                   TemplateKey{request->docCode, request->docPassword});
}

// Checks that the request reached the right endpoint with a matching SOAPAction, and applies an
// injected SOAP Fault. Returns SOAP_OK to go on, otherwise the fault's code.
int Begin(struct soap* soap, const char* operation, const void* request) {
  SoapRequestContext* context = ContextOf(soap);
  const OperationInfo* info = nullptr;
  for (const OperationInfo& candidate : kOperations) {
    if (std::string_view(candidate.name) == operation) info = &candidate;
  }
  if (info == nullptr) return Fault(soap, false, "Unknown operation.");
  if (context->path != info->path) {
    return Fault(
        soap, true,
        std::string(operation) + " is served at " + info->path + ", not at " + context->path + ".");
  }
  if (!context->action.empty() && context->actionOperation != operation) {
    return Fault(soap, true,
                 "SOAPAction \"" + context->action + "\" does not belong to " + operation +
                     "; expected \"" + SoapActionFor(operation) + "\".");
  }
  if (request == nullptr) return Fault(soap, true, std::string("Empty ") + operation + " request.");
  if (context->overrideKind == SoapOverride::kSoapFault) {
    return Fault(soap, false, std::string("Injected fault for ") + operation + ".");
  }
  return SOAP_OK;
}

std::string* NewString(struct soap* soap, const std::string& value) {
  std::string* text = osl_soap::soap_new_std__string(soap);
  if (text != nullptr) *text = value;
  return text;
}

std::string* NewString(struct soap* soap, const std::optional<std::string>& value) {
  return value ? NewString(soap, *value) : nullptr;
}

std::optional<std::string> Optional(const std::string* value) {
  if (value == nullptr) return std::nullopt;
  return *value;
}

TemplateData FromWire(const osl_soap::ns2__libraryTemplate* record) {
  TemplateData data;
  if (record == nullptr) return data;
  data.name = Optional(record->docName);
  data.description = Optional(record->docDescription);
  data.docId = record->docID;
  data.docPassword = record->docPassword;
  data.category = Optional(record->docCategory);
  data.isActive = record->isActive;
  data.pageCount = record->docPageCount;
  data.width = record->docWidth;
  data.height = record->docHeight;
  data.bleed = record->docBleed;
  data.clientType = record->clientType;
  data.userId = record->userID;
  data.fullScreenWindow = static_cast<int>(record->fullScreenWindow);
  return data;
}

// The two services carry identical copies of the template record (one per
// namespace); both are filled from the same stored data.
template <class Record, class Restriction>
void FillTemplateRecord(struct soap* soap, const TemplateData& data, Record* record) {
  record->docName = NewString(soap, data.name);
  record->docDescription = NewString(soap, data.description);
  record->docID = data.docId;
  record->docPassword = data.docPassword;
  record->docCategory = NewString(soap, data.category);
  record->isActive = data.isActive;
  record->docPageCount = data.pageCount;
  record->docWidth = data.width;
  record->docHeight = data.height;
  record->docBleed = data.bleed;
  record->clientType = static_cast<unsigned char>(data.clientType);
  record->userID = data.userId;
  record->fullScreenWindow = static_cast<Restriction>(data.fullScreenWindow);
}

osl_soap::ns2__libraryTemplate* ToTemplateManagerRecord(struct soap* soap,
                                                        const TemplateData& data) {
  auto* record = osl_soap::soap_new_ns2__libraryTemplate(soap);
  if (record != nullptr)
    FillTemplateRecord<osl_soap::ns2__libraryTemplate, osl_soap::ns2__eRestriction>(soap, data,
                                                                                    record);
  return record;
}

osl_soap::ns4__libraryTemplate* ToDocumentBuilderRecord(struct soap* soap,
                                                        const TemplateData& data) {
  auto* record = osl_soap::soap_new_ns4__libraryTemplate(soap);
  if (record != nullptr)
    FillTemplateRecord<osl_soap::ns4__libraryTemplate, osl_soap::ns4__eRestriction>(soap, data,
                                                                                    record);
  return record;
}

// Answers stored fields: keeps them for Serve to place inside `element` and leaves an empty
// array as the result. A record of an earlier build is rewritten in the answer form here; a
// record that cannot be read fails the call.
int FieldsToWire(struct soap* soap, std::vector<FieldData>&& fields, std::string_view element,
                 osl_soap::ns2__ArrayOfOstrFieldInfo** result) {
  SoapRequestContext* context = ContextOf(soap);
  auto* array = osl_soap::soap_new_ns2__ArrayOfOstrFieldInfo(soap);
  if (array == nullptr) return Fault(soap, false, "Out of memory.");
  std::string rewritten;
  for (FieldData& field : fields) {
    if (FieldRecordCodec::IsAnswerForm(field.record)) continue;
    rewritten.clear();
    if (!context->codec.AppendAnswer(field.record, &rewritten)) {
      return Fault(soap, false, "The stored record of field " + field.name + " is damaged.");
    }
    field.record.swap(rewritten);
  }
  context->answerFields = std::move(fields);
  context->fieldResultElement = element;
  *result = array;
  return SOAP_OK;
}

// Puts the kept field records into the written answer, inside the result array's element
// (written empty, as "<E></E>" or "<E/>"), copying each record once into a buffer of the final
// size. False when the element is not in the answer.
bool PlaceFieldRecords(SoapRequestContext* context) {
  const std::string element(context->fieldResultElement);
  const std::string open = "<" + element + ">";
  const std::string close = "</" + element + ">";
  const std::string& out = context->out;
  bool selfClosing = false;
  size_t at = out.find(open + close);
  size_t rest = 0;  // where the written answer goes on after the records
  if (at != std::string::npos) {
    rest = at + open.size();
  } else {
    const std::string empty = "<" + element + "/>";
    at = out.find(empty);
    if (at == std::string::npos) return false;
    rest = at + empty.size();
    selfClosing = true;
  }
  size_t size = out.size() + open.size() + close.size();
  for (const FieldData& field : context->answerFields) size += field.record.size();
  std::string answer;
  answer.reserve(size);
  answer.append(out, 0, at).append(open);
  for (const FieldData& field : context->answerFields) answer.append(field.record);
  if (selfClosing) answer.append(close);
  answer.append(out, rest, std::string::npos);
  context->out = std::move(answer);
  context->answerFields.clear();
  return true;
}

osl_soap::ns2__ArrayOfLogicGroup* GroupsToWire(struct soap* soap,
                                               const std::vector<LogicGroupData>& groups) {
  auto* array = osl_soap::soap_new_ns2__ArrayOfLogicGroup(soap);
  if (array == nullptr) return nullptr;
  for (const LogicGroupData& group : groups) {
    auto* record = osl_soap::soap_new_ns2__logicGroup(soap);
    if (record == nullptr) return nullptr;
    record->logicGroupID = group.id;
    record->logicGroupName = NewString(soap, group.name);
    record->moveDirection = static_cast<osl_soap::ns2__eMoveDirection>(group.moveDirection);
    array->logicGroup.push_back(record);
  }
  return array;
}

}  // namespace

std::string SoapActionFor(std::string_view operation) {
  for (const OperationInfo& info : kOperations) {
    if (operation == info.name)
      return std::string(kOslDocumentBuilderNamespace) + info.actionSuffix;
  }
  return "";
}

std::string GsoapDispatcher::OperationForAction(std::string_view action) const {
  for (const OperationInfo& info : kOperations) {
    if (action == SoapActionFor(info.name)) return info.name;
  }
  return "";
}

HttpResponse GsoapDispatcher::Serve(const SoapRequest& request, SoapOverride overrideKind) {
  SoapRequestContext context;
  context.manager = manager_;
  context.path = std::string(request.path);
  context.action = std::string(request.action);
  context.actionOperation = OperationForAction(context.action);
  context.overrideKind = overrideKind;
  context.body = request.body;
  // Field records join the answer after it is written (PlaceFieldRecords, one copy into a buffer
  // of the final size); what gSOAP writes itself is small.
  context.out.reserve(4096);

  SoapPtr soap = NewContext();
  if (!soap) return HttpResponse::Text(500, "out of memory\n");
  soap->user = &context;
  soap->frecv = ReceiveBody;
  soap->fsend = SendToString;
  soap_set_imode(soap.get(), SOAP_ENC_PLAIN);
  soap_set_omode(soap.get(), SOAP_ENC_PLAIN);
  soap->max_keep_alive = 0;
  soap->keep_alive = 0;
  soap->maxlevel = maxDepth_;

  // Faults are written without nil placeholders, so they carry only the SOAP 1.1 elements;
  // answers write absent members as nil elements.
  soap_clr_omode(soap.get(), SOAP_XML_NIL);
  int status = SOAP_OK;
  if (soap_begin_serve(soap.get()) != SOAP_OK) {
    status = soap->error == SOAP_OK ? SOAP_FAULT : soap->error;
  } else {
    soap_set_omode(soap.get(), SOAP_XML_NIL);
    if (osl_soap::soap_serve_request(soap.get()) != SOAP_OK && soap->error != SOAP_OK) {
      status = soap->error;
      soap_clr_omode(soap.get(), SOAP_XML_NIL);
      if (status < SOAP_STOP) soap_send_fault(soap.get());
    }
  }
  // The plug-in stops a publish at the first call that fails: the run is over, and its template
  // is free for the next one at once rather than after the lease time.
  if (status != SOAP_OK && context.runCall) {
    manager_->AbandonPublish(context.runCall->first, context.runCall->second);
  }
  if (status == SOAP_OK && !context.fieldResultElement.empty() &&
      !PlaceFieldRecords(&context)) {
    context.out.clear();
  }
  if (context.out.empty()) {
    return HttpResponse::Text(500, "the SOAP request could not be answered\n");
  }
  HttpResponse response = HttpResponse::Text(status == SOAP_OK ? 200 : 500, std::move(context.out),
                                             "text/xml; charset=utf-8");
  return response;
}

}  // namespace refservice

// Operation bodies called by the generated skeletons (declared in osl_soapStub.h).
namespace osl_soap {

using refservice::Begin;
using refservice::ContextOf;
using refservice::Credentials;
using refservice::Fault;
using refservice::FieldData;
using refservice::ServiceError;
using refservice::SoapOverride;
using refservice::TemplateData;
using refservice::TemplateKey;

int __ns4__getLibraryTemplates(struct soap* soap, _ns4__getLibraryTemplates* request,
                               _ns4__getLibraryTemplatesResponse& response) {
  if (int rc = Begin(soap, "getLibraryTemplates", request); rc != SOAP_OK) return rc;
  std::vector<TemplateData> templates;
  ServiceError error;
  Credentials user{request->email ? *request->email : "",
                   request->password ? *request->password : ""};
  if (!ContextOf(soap)->manager->GetLibraryTemplates(user, &templates, &error)) {
    return Fault(soap, error);
  }
  auto* array = soap_new_ns4__ArrayOfLibraryTemplate(soap);
  if (array == nullptr) return Fault(soap, false, "Out of memory.");
  for (const TemplateData& data : templates) {
    array->libraryTemplate.push_back(refservice::ToDocumentBuilderRecord(soap, data));
  }
  response.getLibraryTemplatesResult = array;
  return SOAP_OK;
}

int __ns5__setTemplate(struct soap* soap, _ns2__setTemplate* request,
                       _ns2__setTemplateResponse& response) {
  if (int rc = Begin(soap, "setTemplate", request); rc != SOAP_OK) return rc;
  TemplateData info = refservice::FromWire(request->templateInfo);
  if (ContextOf(soap)->overrideKind == SoapOverride::kZeroId) {
    info.docId = refservice::kZeroGuid;
    info.docPassword = refservice::kZeroGuid;
    response.setTemplateResult = refservice::ToTemplateManagerRecord(soap, info);
    return SOAP_OK;
  }
  if (request->templateInfo == nullptr) return Fault(soap, true, "templateInfo is missing.");
  TemplateData stored;
  ServiceError error;
  if (!ContextOf(soap)->manager->SetTemplate(Credentials{request->userEmail, request->userPassword},
                                             refservice::Optional(request->docCode),
                                             refservice::Optional(request->docPassword), info,
                                             &stored, &error)) {
    return Fault(soap, error);
  }
  response.setTemplateResult = refservice::ToTemplateManagerRecord(soap, stored);
  return SOAP_OK;
}

int __ns5__getFields(struct soap* soap, _ns2__getFields* request,
                     _ns2__getFieldsResponse& response) {
  if (int rc = Begin(soap, "getFields", request); rc != SOAP_OK) return rc;
  std::vector<FieldData> fields;
  ServiceError error;
  if (!ContextOf(soap)->manager->GetFields(Credentials{request->userEmail, request->userPassword},
                                           TemplateKey{request->docCode, request->docPassword},
                                           &fields, &error)) {
    return Fault(soap, error);
  }
  return refservice::FieldsToWire(soap, std::move(fields), "ns2:getFieldsResult",
                                  &response.getFieldsResult);
}

int __ns5__setFields(struct soap* soap, _ns2__setFields* request,
                     _ns2__setFieldsResponse& response) {
  refservice::NoteRunCall(soap, request);
  if (int rc = Begin(soap, "setFields", request); rc != SOAP_OK) return rc;
  std::vector<FieldData> fields;
  if (request->docFields != nullptr) {
    fields.reserve(request->docFields->OstrFieldInfo.size());
    for (const ns2__OstrFieldInfo* field : request->docFields->OstrFieldInfo) {
      if (field == nullptr) continue;
      FieldData data;
      data.name = field->fieldName ? *field->fieldName : "";
      if (!ContextOf(soap)->codec.ToStored(*field, &data.record)) {
        return Fault(soap, false, "Field " + data.name + " could not be stored.");
      }
      fields.push_back(std::move(data));
    }
  }
  std::vector<FieldData> stored;
  ServiceError error;
  if (!ContextOf(soap)->manager->SetFields(Credentials{request->userEmail, request->userPassword},
                                           TemplateKey{request->docCode, request->docPassword},
                                           std::move(fields), request->deleteOthers, &stored,
                                           &error)) {
    return Fault(soap, error);
  }
  return refservice::FieldsToWire(soap, std::move(stored), "ns2:setFieldsResult",
                                  &response.setFieldsResult);
}

int __ns5__getLogicGroups(struct soap* soap, _ns2__getLogicGroups* request,
                          _ns2__getLogicGroupsResponse& response) {
  refservice::NoteRunCall(soap, request);
  if (int rc = Begin(soap, "getLogicGroups", request); rc != SOAP_OK) return rc;
  std::vector<refservice::LogicGroupData> groups;
  ServiceError error;
  if (!ContextOf(soap)->manager->GetLogicGroups(
          Credentials{request->userEmail, request->userPassword},
          TemplateKey{request->docCode, request->docPassword}, &groups, &error)) {
    return Fault(soap, error);
  }
  response.getLogicGroupsResult = refservice::GroupsToWire(soap, groups);
  return response.getLogicGroupsResult ? SOAP_OK : Fault(soap, false, "Out of memory.");
}

int __ns5__setLogicGroups(struct soap* soap, _ns2__setLogicGroups* request,
                          _ns2__setLogicGroupsResponse& response) {
  refservice::NoteRunCall(soap, request);
  if (int rc = Begin(soap, "setLogicGroups", request); rc != SOAP_OK) return rc;
  std::vector<refservice::LogicGroupData> groups;
  if (request->logicGroups != nullptr) {
    for (const ns2__logicGroup* group : request->logicGroups->logicGroup) {
      if (group == nullptr) continue;
      groups.push_back(refservice::LogicGroupData{
          group->logicGroupID, group->logicGroupName ? *group->logicGroupName : "",
          static_cast<int>(group->moveDirection)});
    }
  }
  std::vector<refservice::LogicGroupData> stored;
  ServiceError error;
  if (!ContextOf(soap)->manager->SetLogicGroups(
          Credentials{request->userEmail, request->userPassword},
          TemplateKey{request->docCode, request->docPassword}, groups, &stored, &error)) {
    return Fault(soap, error);
  }
  response.setLogicGroupsResult = refservice::GroupsToWire(soap, stored);
  return response.setLogicGroupsResult ? SOAP_OK : Fault(soap, false, "Out of memory.");
}

int __ns5__setAssets(struct soap* soap, _ns2__setAssets* request,
                     _ns2__setAssetsResponse& response) {
  refservice::NoteRunCall(soap, request);
  if (int rc = Begin(soap, "setAssets", request); rc != SOAP_OK) return rc;
  std::vector<refservice::AssetChange> changes;
  if (request->assets != nullptr) {
    for (const ns2__assetInfo* asset : request->assets->assetInfo) {
      if (asset == nullptr) continue;
      refservice::AssetChange change;
      change.asset.url = refservice::Optional(asset->assetURL);
      change.asset.name = refservice::Optional(asset->assetName);
      change.asset.type = static_cast<int>(asset->assetType);
      change.asset.imagePickerNum = asset->imagePickerNum;
      change.remove = asset->delete_;
      changes.push_back(std::move(change));
    }
  }
  std::vector<refservice::AssetData> stored;
  ServiceError error;
  if (!ContextOf(soap)->manager->SetAssets(Credentials{request->userEmail, request->userPassword},
                                           TemplateKey{request->docCode, request->docPassword},
                                           changes, &stored, &error)) {
    return Fault(soap, error);
  }
  auto* array = soap_new_ns2__ArrayOfAssetInfo(soap);
  if (array == nullptr) return Fault(soap, false, "Out of memory.");
  for (const refservice::AssetData& asset : stored) {
    auto* record = soap_new_ns2__assetInfo(soap);
    if (record == nullptr) return Fault(soap, false, "Out of memory.");
    record->assetURL = refservice::NewString(soap, asset.url);
    record->assetName = refservice::NewString(soap, asset.name);
    record->assetType = static_cast<ns2__eAssetType>(asset.type);
    record->imagePickerNum = asset.imagePickerNum;
    record->delete_ = false;
    array->assetInfo.push_back(record);
  }
  response.setAssetsResult = array;
  return SOAP_OK;
}

int __ns5__commitTemplate(struct soap* soap, _ns2__commitTemplate* request,
                          _ns2__commitTemplateResponse& response) {
  refservice::NoteRunCall(soap, request);
  if (int rc = Begin(soap, "commitTemplate", request); rc != SOAP_OK) return rc;
  TemplateData stored;
  ServiceError error;
  if (!ContextOf(soap)->manager->CommitTemplate(
          Credentials{request->userEmail, request->userPassword},
          TemplateKey{request->docCode, request->docPassword}, &stored, &error)) {
    return Fault(soap, error);
  }
  response.commitTemplateResult = refservice::ToTemplateManagerRecord(soap, stored);
  return SOAP_OK;
}

}  // namespace osl_soap

#include "refservice/templates/field_record.h"

#include <cstring>
#include <sstream>
#include <string_view>

#include "osl_soapH.h"
#include "schema/soap_namespaces.h"

namespace refservice {
namespace {

constexpr std::string_view kStartTag = "<ns2:OstrFieldInfo";
constexpr std::string_view kEndTag = "</ns2:OstrFieldInfo>";

// A context with the service's namespace table, UTF-8 strings and nil elements for absent
// members, as the SOAP endpoint uses.
struct soap* NewContext() {
  struct soap* soap = soap_new1(SOAP_C_UTFSTRING | SOAP_XML_NIL);
  if (soap != nullptr) soap_set_namespaces(soap, OslSoapNamespaces());
  return soap;
}

// The namespace declarations of a response envelope, for reading an answer-form record on its
// own: ` xmlns:SOAP-ENV="…" xmlns:ns2="…"` and the others of the table.
const std::string& NamespaceDeclarations() {
  static const std::string declarations = [] {
    std::string text;
    for (const Namespace* ns = OslSoapNamespaces(); ns->id != nullptr; ++ns) {
      if (ns->ns == nullptr) continue;
      text += std::string(" xmlns:") + ns->id + "=\"" + ns->ns + "\"";
    }
    return text;
  }();
  return declarations;
}

}  // namespace

void FieldRecordCodec::SoapDeleter::operator()(struct soap* soap) const {
  soap_destroy(soap);
  soap_end(soap);
  soap_free(soap);
}

FieldRecordCodec::FieldRecordCodec() : writer_(NewContext()), reader_(NewContext()) {
  if (writer_) {
    writer_->user = this;
    writer_->fsend = SendToTarget;
  }
}

FieldRecordCodec::~FieldRecordCodec() = default;

int FieldRecordCodec::SendToTarget(struct soap* soap, const char* data, size_t size) {
  auto* codec = static_cast<FieldRecordCodec*>(soap->user);
  if (codec->target_ == nullptr) return SOAP_EOF;
  codec->target_->append(data, size);
  return SOAP_OK;
}

bool FieldRecordCodec::IsAnswerForm(const std::string& stored) {
  std::string_view text(stored);
  if (text.size() < kStartTag.size() + 1 + kEndTag.size()) return false;
  if (text.substr(0, kStartTag.size()) != kStartTag) return false;
  char next = text[kStartTag.size()];
  if (next != '>' && next != ' ') return false;
  return text.substr(text.size() - kEndTag.size()) == kEndTag;
}

bool FieldRecordCodec::ToStored(const osl_soap::ns2__OstrFieldInfo& field, std::string* stored) {
  if (!writer_) return false;
  struct soap* soap = writer_.get();
  stored->clear();
  target_ = stored;
  // Written as inside a response body: the envelope has declared every namespace already
  // (ns != 0 leaves out the XML declaration and the xmlns attributes), and absent members are
  // nil elements, as the endpoint's answers write them.
  int rc = soap_begin_send(soap);
  if (rc == SOAP_OK) {
    soap->ns = 2;
    soap->part = SOAP_IN_BODY;
    field.soap_serialize(soap);
    rc = field.soap_out(soap, "ns2:OstrFieldInfo", -1, "");
  }
  if (rc == SOAP_OK) rc = soap_end_send(soap);
  target_ = nullptr;
  // Each written record is independent: drop what the write allocated.
  soap_destroy(soap);
  soap_end(soap);
  return rc == SOAP_OK && IsAnswerForm(*stored);
}

osl_soap::ns2__OstrFieldInfo* FieldRecordCodec::FromStored(const std::string& stored) {
  if (!reader_) return nullptr;
  struct soap* soap = reader_.get();
  auto* field = osl_soap::soap_new_ns2__OstrFieldInfo(soap);
  if (field == nullptr) return nullptr;
  std::istringstream stream;
  if (IsAnswerForm(stored)) {
    // Give the element the declarations its envelope would have given it.
    std::string document;
    document.reserve(stored.size() + NamespaceDeclarations().size());
    document.append(kStartTag).append(NamespaceDeclarations()).append(stored, kStartTag.size());
    stream.str(std::move(document));
  } else {
    stream.str(stored);
  }
  soap->is = &stream;
  int rc = osl_soap::soap_read_ns2__OstrFieldInfo(soap, field);
  soap->is = nullptr;
  return rc == SOAP_OK ? field : nullptr;
}

bool FieldRecordCodec::AppendAnswer(const std::string& stored, std::string* answer) {
  if (IsAnswerForm(stored)) {
    answer->append(stored);
    return true;
  }
  const osl_soap::ns2__OstrFieldInfo* field = FromStored(stored);
  if (field == nullptr || !ToStored(*field, &scratch_)) return false;
  answer->append(scratch_);
  return true;
}

}  // namespace refservice

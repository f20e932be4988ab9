#include "refservice/soap/field_record.h"

#include <sstream>

#include "osl_soapH.h"
#include "service/schema/soap_namespaces.h"

namespace refservice {
namespace {

// A context with the service's namespace table, UTF-8 strings and nil elements for absent
// members, as the SOAP endpoint uses.
struct soap* NewContext() {
  struct soap* soap = soap_new1(SOAP_C_UTFSTRING | SOAP_XML_NIL);
  if (soap != nullptr) soap_set_namespaces(soap, OslSoapNamespaces());
  return soap;
}

}  // namespace

void FieldRecordCodec::SoapDeleter::operator()(struct soap* soap) const {
  soap_destroy(soap);
  soap_end(soap);
  soap_free(soap);
}

FieldRecordCodec::FieldRecordCodec() : writer_(NewContext()), reader_(NewContext()) {}

FieldRecordCodec::~FieldRecordCodec() = default;

bool FieldRecordCodec::ToXml(const osl_soap::ns2__OstrFieldInfo& field, std::string* xml) {
  if (!writer_) return false;
  std::ostringstream stream;
  writer_->os = &stream;
  int rc = osl_soap::soap_write_ns2__OstrFieldInfo(writer_.get(), &field);
  writer_->os = nullptr;
  // Each written record is independent: drop what the write allocated.
  soap_destroy(writer_.get());
  soap_end(writer_.get());
  *xml = stream.str();
  return rc == SOAP_OK;
}

osl_soap::ns2__OstrFieldInfo* FieldRecordCodec::FromXml(const std::string& xml) {
  if (!reader_) return nullptr;
  struct soap* soap = reader_.get();
  auto* field = osl_soap::soap_new_ns2__OstrFieldInfo(soap);
  if (field == nullptr) return nullptr;
  std::istringstream stream(xml);
  soap->is = &stream;
  int rc = osl_soap::soap_read_ns2__OstrFieldInfo(soap, field);
  soap->is = nullptr;
  return rc == SOAP_OK ? field : nullptr;
}

}  // namespace refservice

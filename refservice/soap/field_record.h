// The stored form of a template field: the complete field record as XML text, written and read
// with the generated serializers, so every member survives storage unchanged.
#pragma once

#include <memory>
#include <string>

struct soap;

namespace osl_soap {
class ns2__OstrFieldInfo;
}

namespace refservice {

// Owns the gSOAP contexts that write and read field records. Records read back belong to the
// codec and stay valid until it is destroyed. Not thread-safe: one codec per request or command.
class FieldRecordCodec {
 public:
  FieldRecordCodec();
  ~FieldRecordCodec();
  FieldRecordCodec(const FieldRecordCodec&) = delete;
  FieldRecordCodec& operator=(const FieldRecordCodec&) = delete;

  // Serialises `field` into `xml`. False when the record cannot be written (for example an
  // enumeration value outside its table); `xml` is then unspecified.
  bool ToXml(const osl_soap::ns2__OstrFieldInfo& field, std::string* xml);

  // Reads a stored record back. Null when `xml` is not a field record.
  osl_soap::ns2__OstrFieldInfo* FromXml(const std::string& xml);

  // The reading context, for the generated enumeration-to-text functions (null only when out of
  // memory).
  struct soap* reader() {
    return reader_.get();
  }

 private:
  struct SoapDeleter {
    void operator()(struct soap* soap) const;
  };
  std::unique_ptr<struct soap, SoapDeleter> writer_;
  std::unique_ptr<struct soap, SoapDeleter> reader_;
};

}  // namespace refservice

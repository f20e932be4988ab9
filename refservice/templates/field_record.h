// The stored form of a template field, and its way back into an answer.
//
// A field record is stored as the very bytes that getFields and setFields answers carry for it:
// the record's element `<ns2:OstrFieldInfo>…</ns2:OstrFieldInfo>` as the generated serializer
// writes it inside a response body (no XML declaration, no namespace declarations, absent
// members as nil elements). An answer then copies the stored bytes instead of parsing each record
// and writing it again, and every member survives storage unchanged.
//
// Records stored by earlier builds are whole XML documents (an XML declaration and a root
// element with its namespace declarations). They are still read: detected by their start,
// parsed, and written in the answer form when an answer carries them, byte for byte as a record
// stored in the answer form would be.
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

  // Writes `field` in the stored (answer) form into `stored`, replacing its content. False when
  // the record cannot be written (out of memory, or a value the serializer refuses); `stored` is
  // then unspecified.
  bool ToStored(const osl_soap::ns2__OstrFieldInfo& field, std::string* stored);

  // Reads a stored record of either form back. Null when `stored` is not a field record.
  osl_soap::ns2__OstrFieldInfo* FromStored(const std::string& stored);

  // Appends the answer form of a stored record to `answer`: the stored bytes themselves, or for
  // a record of an earlier build the record parsed and written again. False, with `answer`
  // unchanged, when the record cannot be read.
  bool AppendAnswer(const std::string& stored, std::string* answer);

  // True when `stored` has the answer form (starts with the record's start tag and ends with
  // its end tag). Anything else is read as a record of an earlier build.
  static bool IsAnswerForm(const std::string& stored);

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
  std::string* target_ = nullptr;  // where the writer's output goes while ToStored runs
  std::string scratch_;            // an earlier build's record rewritten by AppendAnswer

  static int SendToTarget(struct soap* soap, const char* data, size_t size);
};

}  // namespace refservice

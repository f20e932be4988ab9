#include "refservice/merge/record_reader.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <set>

namespace refservice {
namespace {

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out + "\"";
}

std::string TooLong() {
  return "the value is longer than " + std::to_string(kMaxRecordValueBytes / 1024) + " KiB";
}

// RFC 4180 over a stream buffer, one record at a time.
class CsvReader {
 public:
  explicit CsvReader(std::streambuf* in) : in_(in) {}

  // Reads the next record into `fields`. kEnd at the end of the input; kError with error_ set.
  enum Status { kRecord, kEnd, kError };
  Status Next(std::vector<std::string>* fields, size_t* startLine, bool* blank) {
    fields->clear();
    startLine_ = line_;
    *startLine = line_;
    *blank = true;
    if (in_->sgetc() == std::char_traits<char>::eof()) return kEnd;
    fields->emplace_back();
    while (true) {
      int c = in_->sbumpc();
      if (c == std::char_traits<char>::eof()) return kRecord;
      if (c == '\n' || c == '\r') {
        if (c == '\r' && in_->sgetc() == '\n') in_->sbumpc();
        ++line_;
        return kRecord;
      }
      *blank = false;
      if (c == ',') {
        if (!Room(fields)) return kError;
        fields->emplace_back();
        continue;
      }
      std::string& field = fields->back();
      if (c == '"' && field.empty()) {
        if (!ReadQuoted(&field, fields->size())) return kError;
        // After the closing quote: a separator, a line end or the end.
        int next = in_->sgetc();
        if (next != ',' && next != '\n' && next != '\r' && next != std::char_traits<char>::eof()) {
          error_ = Field(fields->size()) + "text follows the closing quote of a quoted value";
          return kError;
        }
        continue;
      }
      if (c == '"') {
        error_ = Field(fields->size()) +
                 "a double quote inside a value that does not start with one (quote the whole "
                 "value and double the quote)";
        return kError;
      }
      field.push_back(static_cast<char>(c));
      if (field.size() > kMaxRecordValueBytes) {
        error_ = Field(fields->size()) + TooLong();
        return kError;
      }
    }
  }

  // The record the next Next() reads, for errors: 0 for the header, which has no `header`.
  void Name(size_t number, const std::vector<std::string>* header) {
    number_ = number;
    header_ = header;
  }
  const std::string& error() const { return error_; }

 private:
  std::string Where() const {
    if (number_ == 0) return "line " + std::to_string(startLine_) + " (the header)";
    return "record " + std::to_string(number_) + " (line " + std::to_string(startLine_) + ")";
  }

  bool Room(std::vector<std::string>* fields) {
    const size_t most = header_ != nullptr ? header_->size() : kMaxRecordFields;
    if (fields->size() >= most) {
      error_ = Where() + ": more values than the header names (" + std::to_string(most) + ")";
      if (header_ == nullptr) {
        error_ = Where() + ": more than " + std::to_string(kMaxRecordFields) + " fields";
      }
      return false;
    }
    return true;
  }

  // "record 3 (line 5), field "Name": " for the field at 1-based `index`.
  std::string Field(size_t index) const {
    if (header_ != nullptr && index >= 1 && index <= header_->size()) {
      return Where() + ", field " + Quoted((*header_)[index - 1]) + ": ";
    }
    return Where() + ", value " + std::to_string(index) + ": ";
  }

  bool ReadQuoted(std::string* field, size_t index) {
    const size_t openedOn = line_;
    while (true) {
      int c = in_->sbumpc();
      if (c == std::char_traits<char>::eof()) {
        error_ = Field(index) + "the quote opened on line " + std::to_string(openedOn) +
                 " is never closed";
        return false;
      }
      if (c == '"') {
        if (in_->sgetc() != '"') return true;
        in_->sbumpc();
      }
      if (c == '\n') ++line_;
      if (c == '\r' && in_->sgetc() != '\n') ++line_;
      field->push_back(static_cast<char>(c));
      if (field->size() > kMaxRecordValueBytes) {
        error_ = Field(index) + TooLong();
        return false;
      }
    }
  }

  std::streambuf* in_;
  size_t line_ = 1;
  size_t startLine_ = 1;
  size_t number_ = 0;
  const std::vector<std::string>* header_ = nullptr;
  std::string error_;
};

bool ReadCsv(std::istream& in, const RecordVisitor& visit, std::string* error) {
  std::streambuf* buffer = in.rdbuf();
  // A UTF-8 byte order mark before the header is not part of its first name.
  if (buffer->sgetc() == 0xEF) {
    std::string start(3, '\0');
    if (buffer->sgetn(&start[0], 3) != 3 || start != "\xEF\xBB\xBF") {
      *error = "line 1: the header is not UTF-8 text";
      return false;
    }
  }
  CsvReader reader(buffer);
  std::vector<std::string> header;
  std::vector<std::string> fields;
  size_t line = 0;
  bool blank = true;
  reader.Name(0, nullptr);
  CsvReader::Status status;
  while ((status = reader.Next(&header, &line, &blank)) == CsvReader::kRecord && blank) {
  }
  if (status == CsvReader::kError) {
    *error = reader.error();
    return false;
  }
  if (status == CsvReader::kEnd) {
    *error = "the CSV is empty: its first line must name the fields";
    return false;
  }
  std::set<std::string> seen;
  for (size_t i = 0; i < header.size(); ++i) {
    if (header[i].empty()) {
      *error = "line " + std::to_string(line) + " (the header): name " + std::to_string(i + 1) +
               " is empty";
      return false;
    }
    if (!seen.insert(header[i]).second) {
      *error = "line " + std::to_string(line) + " (the header): the field " + Quoted(header[i]) +
               " is named twice";
      return false;
    }
  }
  Record record;
  size_t number = 0;
  while (true) {
    reader.Name(number + 1, &header);
    status = reader.Next(&fields, &line, &blank);
    if (status == CsvReader::kEnd) return true;
    if (status == CsvReader::kError) {
      *error = reader.error();
      return false;
    }
    if (blank) continue;
    ++number;
    record.number = number;
    record.line = line;
    if (fields.size() != header.size()) {
      *error = record.Where() + ": " + std::to_string(fields.size()) + " value" +
               (fields.size() == 1 ? "" : "s") + ", but the header names " +
               std::to_string(header.size()) + " field" + (header.size() == 1 ? "" : "s");
      return false;
    }
    record.values.resize(header.size());
    for (size_t i = 0; i < header.size(); ++i) {
      record.values[i].first = header[i];
      record.values[i].second = std::move(fields[i]);
    }
    if (!visit(record)) return true;
  }
}

// JSON through SAX events: an array of flat objects of strings.
class JsonRecords : public nlohmann::json::json_sax_t {
 public:
  explicit JsonRecords(const RecordVisitor& visit) : visit_(visit) {}

  bool null() override { return NotString("null"); }
  bool boolean(bool) override { return NotString("true or false"); }
  bool number_integer(number_integer_t) override { return NotString("a number"); }
  bool number_unsigned(number_unsigned_t) override { return NotString("a number"); }
  bool number_float(number_float_t, const string_t&) override { return NotString("a number"); }
  bool binary(binary_t&) override { return NotString("binary data"); }
  bool string(string_t& value) override {
    if (depth_ != 2) return NotString("a string");
    if (value.size() > kMaxRecordValueBytes) return Fail(FieldWhere() + TooLong());
    record_.values.emplace_back(key_, std::move(value));
    return true;
  }
  bool start_object(std::size_t) override {
    if (depth_ != 1) return NotString("an object");
    ++depth_;
    record_.number = ++number_;
    record_.values.clear();
    keys_.clear();
    return true;
  }
  bool key(string_t& name) override {
    if (keys_.size() >= kMaxRecordFields) {
      return Fail(record_.Where() + ": more than " + std::to_string(kMaxRecordFields) +
                  " fields");
    }
    key_ = name;
    if (!keys_.insert(name).second) return Fail(FieldWhere() + "the field is given twice");
    return true;
  }
  bool end_object() override {
    --depth_;
    if (!visit_(record_)) {
      stopped_ = true;
      return false;
    }
    return true;
  }
  bool start_array(std::size_t) override {
    if (depth_ != 0) return NotString("an array");
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& failure) override {
    std::string what = failure.what();
    if (depth_ == 2 && what.find("UTF-8") != std::string::npos) {
      return Fail(FieldAfterKey() + "not valid UTF-8");
    }
    const size_t colon = what.rfind(": ");
    what = colon == std::string::npos ? what : what.substr(colon + 2);
    std::string where = depth_ >= 2 ? record_.Where() + ": " : std::string();
    return Fail(where + "the JSON cannot be read at byte " + std::to_string(position) + ": " +
                what);
  }

  bool stopped() const { return stopped_; }
  const std::string& error() const { return error_; }

 private:
  bool NotString(const std::string& what) {
    if (depth_ == 0) return Fail("the records are not a JSON array of objects");
    if (depth_ == 1) {
      return Fail("record " + std::to_string(number_ + 1) + ": " + what +
                  " where an object of field names and strings belongs");
    }
    return Fail(FieldWhere() + "the value is " + what + ", not a JSON string");
  }
  std::string FieldWhere() const { return record_.Where() + ", field " + Quoted(key_) + ": "; }
  // After a key the value is that key's; before any key the record's.
  std::string FieldAfterKey() const {
    return keys_.empty() ? record_.Where() + ": " : FieldWhere();
  }
  bool Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    return false;
  }

  const RecordVisitor& visit_;
  int depth_ = 0;
  size_t number_ = 0;
  Record record_;
  std::string key_;
  std::set<std::string> keys_;
  bool stopped_ = false;
  std::string error_;
};

bool ReadJson(std::istream& in, const RecordVisitor& visit, std::string* error) {
  JsonRecords records(visit);
  const bool ok = nlohmann::json::sax_parse(in, &records);
  if (ok || records.stopped()) return true;
  *error = records.error().empty() ? "the records are not a JSON array of objects"
                                   : records.error();
  return false;
}

}  // namespace

std::string Record::Where() const {
  std::string where = "record " + std::to_string(number);
  if (line > 0) where += " (line " + std::to_string(line) + ")";
  return where;
}

bool ReadRecords(std::istream& in, RecordFormat format, const RecordVisitor& visit,
                 std::string* error) {
  return format == RecordFormat::kJson ? ReadJson(in, visit, error)
                                       : ReadCsv(in, visit, error);
}

RecordFormat RecordFormatOfName(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.size() >= 5 && lower.compare(lower.size() - 5, 5, ".json") == 0
             ? RecordFormat::kJson
             : RecordFormat::kCsv;
}

}  // namespace refservice

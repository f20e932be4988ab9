// The records of a print run, read as a stream: one record at a time is held, however many the
// input has, so a run of any length is read in bounded memory.
//
// Two forms:
//   CSV (RFC 4180): the first record (the header) names the fields; fields are separated by
//     commas; a field in double quotes may hold commas, line breaks and doubled quotes ("");
//     lines end in CR LF or LF. Blank lines are skipped; a UTF-8 byte order mark is dropped.
//   JSON: an array of objects, each mapping field names to strings.
// Every error names the record (its number from 1, and for CSV the line it starts on).
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <string>
#include <utility>
#include <vector>

namespace refservice {

enum class RecordFormat { kCsv, kJson };

// Largest single value, and most fields in a record.
constexpr size_t kMaxRecordValueBytes = 64 * 1024;
constexpr size_t kMaxRecordFields = 4096;

struct Record {
  size_t number = 0;  // from 1
  size_t line = 0;    // CSV: the line the record starts on; JSON: 0
  std::vector<std::pair<std::string, std::string>> values;  // field name -> value, in order

  // "record 12 (line 14)" for CSV, "record 12" for JSON.
  std::string Where() const;
};

// Called with each record in order; returning false stops the reading (ReadRecords then
// returns true: the stop is the caller's).
using RecordVisitor = std::function<bool(const Record& record)>;

// Reads `in` as `format`, calling `visit` for each record. False with `error` set when the
// input is malformed (a quote left open, text after a closing quote, a record with more or
// fewer values than the header names, an empty or repeated header name, a value over
// kMaxRecordValueBytes, JSON that is not an array of objects of strings); the records before
// the fault have been visited. Bytes are passed on as they are: checking them is the caller's.
bool ReadRecords(std::istream& in, RecordFormat format, const RecordVisitor& visit,
                 std::string* error);

// The format a file name asks for: ".json" (any letter case) is JSON, anything else CSV.
RecordFormat RecordFormatOfName(const std::string& name);

}  // namespace refservice

// A print run: every record of a CSV or JSON list becomes one document of a template, appended
// in order to one PDF written to disk as it is drawn. Two passes over the records: a cheap check
// of them all first (so bad input is refused before anything is drawn), then the drawing. The
// PDF is written under a temporary name in the output's folder and renamed into place only when
// whole: an error, a stop or a cancel leaves nothing at the output's name.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <istream>
#include <memory>
#include <string>

#include "refservice/merge/record_reader.h"
#include "refservice/render/document_renderer.h"
#include "refservice/render/field_values.h"
#include "refservice/render/template_bundle.h"

namespace refservice {

struct MergeRequest {
  RecordFormat format = RecordFormat::kCsv;
  // Opens the records from their start; called once per pass.
  std::function<std::unique_ptr<std::istream>()> openRecords;
  // Reads an image field's value (a file's name) into bytes; empty: image values are refused.
  ImageLoader loadImage;
  SheetOptions sheets;
  bool stopOnCut = false;  // stop at the first document with an overflowing (cut) field
};

// Totals over every document of a run.
struct MergeSummary {
  size_t records = 0;
  int pages = 0;  // pages of the PDF (sheets when N-up)
  size_t shrunk = 0, cut = 0, notDrawn = 0;  // field outcomes over all records
};

enum class MergeStatus {
  kDone,         // the PDF is in place
  kBadInput,     // bad records or template, or stopped at a cut field: nothing written
  kCannotWrite,  // the output could not be written: nothing left at its name
  kCancelled,    // `cancel` was set: nothing written
};

struct MergeObserver {
  // After each document: how many are done of how many.
  std::function<void(size_t done, size_t total)> progress;
  // After each document: its record and what was done with its fields.
  std::function<void(const Record& record, const RenderResult& result)> document;
  // Set (from anywhere) to stop the run at the next record.
  const std::atomic<bool>* cancel = nullptr;
};

// The first pass: checks every record's values against the template as the document builder
// would take them (names the template has, UTF-8 text, images that can be read and decoded,
// each distinct image file once). Sets `count` to the number of records. False with `error`
// naming the record (and line) and field when one is bad, or when there are no records.
bool CheckMergeRecords(const TemplateBundle& bundle, const MergeRequest& request, size_t* count,
                       std::string* error, const std::atomic<bool>* cancel = nullptr);

// The second pass: draws the `total` records checked by CheckMergeRecords into `outPath`.
MergeStatus WriteMerge(const TemplateBundle& bundle, FileSystem* fs, const MergeRequest& request,
                       size_t total, const std::string& outPath, const MergeObserver& observer,
                       MergeSummary* summary, std::string* error);

// {"records": N, "pages": N, "shrunk": N, "cut": N, "notDrawn": N}
std::string MergeSummaryJson(const MergeSummary& summary);
// "records: N, pages: N, fields shrunk: N, cut (overflowing): N, not drawn: N"
std::string MergeSummaryText(const MergeSummary& summary);

}  // namespace refservice

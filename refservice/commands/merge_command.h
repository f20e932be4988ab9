// `osl-service merge --data DIR ID --records FILE.csv|FILE.json OUT.pdf`: a print run on the
// command line. Every record becomes one document of the stored template, appended in order to
// OUT.pdf, which is written as it is drawn and appears only when whole.
#pragma once

#include <ostream>
#include <string>

#include "refservice/storage/store_factory.h"

namespace refservice {

struct MergeCommandOptions {
  std::string id;
  std::string recordsPath;  // CSV (with a header) or JSON (by the ".json" ending)
  std::string outPath;
  int perSheet = 0;             // N-up: documents per sheet (0: each page on its own)
  std::string sheet = "SRA3";  // sheet size name or WxH in mm
  double bleedMm = 3;
  bool stopOnCut = false;
  bool progressBar = false;  // a progress bar on `err` (a terminal) instead of a last line
};

// Prints, per record, what was done with each field (as `render` does), then a summary line.
// Exit statuses: 0 written; 2 bad input (unknown template, bad records, N that does not fit the
// sheet, a cut field with --stop-on-cut), nothing written; 1 OUT.pdf could not be written;
// 130 interrupted (SIGINT or SIGTERM), nothing written.
int MergeCommand(const StoreLocation& location, const MergeCommandOptions& options,
                 std::ostream& out, std::ostream& err);

}  // namespace refservice

// The read-only commands on a data folder (or a PostgreSQL database), safe while a service runs:
//   osl-service list (--data DIR | --database URL [--files DIR])
//   osl-service show (...) ID
//   osl-service render (...) ID --values VALUES.json OUT.pdf [--cmyk]
//   osl-service merge (...) ID --records FILE.csv|FILE.json OUT.pdf [--per-sheet N ...]
// Their options and their dispatch; what they print is data_report.h's and render_command.h's.
#pragma once

#include <iosfwd>
#include <string>

#include "refservice/commands/merge_command.h"
#include "refservice/storage/store_factory.h"

namespace CLI {
class App;
}

namespace refservice {

struct ReadCommandOptions {
  std::string command;  // "list", "show" or "render" once the command line chose one
  StoreLocation location;
  std::string id;          // show, render: the template identifier
  std::string valuesPath;  // render: the JSON object of values
  std::string outPath;     // render: the PDF to write
  bool cmyk = false;       // render: the PDF in CMYK for print
  MergeCommandOptions merge;  // merge: everything but the location
};

// Adds "list", "show", "render" and "merge" to `app`, filling `options` when parsed.
void AddReadCommands(CLI::App* app, ReadCommandOptions* options);

// Runs the chosen command: 2 with a message on `err` when the location is unusable (render and merge
// also need the files folder), else the command's own exit status.
int RunReadCommand(const ReadCommandOptions& options, std::ostream& out, std::ostream& err);

}  // namespace refservice

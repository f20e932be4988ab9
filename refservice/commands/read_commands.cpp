#include "refservice/commands/read_commands.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <ostream>

#include "refservice/commands/data_report.h"
#include "refservice/commands/render_command.h"

namespace refservice {

void AddReadCommands(CLI::App* app, ReadCommandOptions* options) {
  auto add = [app, options](const char* name, const char* help) {
    CLI::App* command = app->add_subcommand(name, help);
    command->add_option("--data", options->location.dataDir, "the data folder");
    command->add_option("--database", options->location.databaseUrl,
                        "the PostgreSQL database (postgresql://...)");
    command->add_option("--files", options->location.filesDir,
                        "the files folder (with --database)");
    command->callback([options, name] { options->command = name; });
    return command;
  };
  add("list", "print every stored template, one line each (read-only, safe while serving)");
  add("show", "print one template: record, logic groups, fields, assets (read-only)")
      ->add_option("ID", options->id, "the template identifier")
      ->required();
  CLI::App* render =
      add("render", "build a document from a stored template and values (read-only on DIR)");
  render->add_option("ID", options->id, "the template identifier")->required();
  render
      ->add_option("--values", options->valuesPath,
                   "JSON object: field name -> text (image fields: a file path)")
      ->required();
  render->add_option("OUT", options->outPath, "the PDF to write")->required();
  render->add_flag("--cmyk", options->cmyk,
                   "the PDF in CMYK for print: fields in their records' exact inks, the rest "
                   "converted (SWOP) by Ghostscript");
  CLI::App* merge = add("merge",
                        "merge records into one PDF: one document per record (read-only on DIR)");
  merge->add_option("ID", options->merge.id, "the template identifier")->required();
  merge
      ->add_option("--records", options->merge.recordsPath,
                   "CSV whose header names the fields, or a JSON array of objects (.json)")
      ->required();
  merge->add_option("OUT", options->merge.outPath, "the PDF to write")->required();
  merge->add_option("--per-sheet", options->merge.perSheet,
                    "N-up: documents per press sheet, in a grid with crop marks");
  merge->add_option("--sheet", options->merge.sheet,
                    "N-up sheet size: A5, A4, A3, SRA4, SRA3 (default), SRA2, Letter, Tabloid or "
                    "WxH in mm");
  merge->add_option("--bleed", options->merge.bleedMm, "N-up bleed around each card, mm (3)");
  merge->add_flag("--stop-on-cut", options->merge.stopOnCut,
                  "stop at the first text cut at its frame; nothing written");
}

int RunReadCommand(const ReadCommandOptions& options, std::ostream& out, std::ostream& err) {
  std::string error;
  if (!CheckStoreLocation(options.location,
                          options.command == "render" || options.command == "merge", &error)) {
    err << "osl-service: " << error << "\n";
    return 2;
  }
  if (options.command == "list") return ListTemplates(options.location, out, err);
  if (options.command == "show") return ShowTemplate(options.location, options.id, out, err);
  if (options.command == "merge") {
    MergeCommandOptions merge = options.merge;
    merge.progressBar = ::isatty(STDERR_FILENO) == 1;
    return MergeCommand(options.location, merge, out, err);
  }
  return RenderCommand(options.location, options.id, options.valuesPath, options.outPath, out, err,
                       options.cmyk);
}

}  // namespace refservice

#include "refservice/commands/read_commands.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "refservice/commands/data_report.h"
#include "refservice/commands/render_command.h"

namespace refservice {

bool ReadCommands::chosen() const { return *list || *show || *render; }

ReadCommands AddReadCommands(CLI::App* app, ReadCommandOptions* options) {
  StoreLocation* location = &options->location;
  auto addLocation = [location](CLI::App* command) {
    command->add_option("--data", location->dataDir, "the data folder");
    command->add_option("--database", location->databaseUrl,
                        "the PostgreSQL database (postgresql://...)");
    command->add_option("--files", location->filesDir, "the files folder (with --database)");
    return command;
  };
  ReadCommands commands;
  commands.list = addLocation(app->add_subcommand(
      "list", "print every stored template, one line each (read-only, safe while serving)"));
  commands.show = addLocation(app->add_subcommand(
      "show", "print one template: record, logic groups, fields, assets (read-only)"));
  commands.show->add_option("ID", options->id, "the template identifier")->required();
  CLI::App* render = addLocation(app->add_subcommand(
      "render", "build a document from a stored template and values (read-only on DIR)"));
  render->add_option("ID", options->id, "the template identifier")->required();
  render
      ->add_option("--values", options->valuesPath,
                   "JSON object: field name -> text (image fields: a file path)")
      ->required();
  render->add_option("OUT", options->outPath, "the PDF to write")->required();
  render->add_flag("--cmyk", options->cmyk,
                   "the PDF in CMYK for print: fields in their records' exact inks, the rest "
                   "converted (SWOP) by Ghostscript");
  commands.render = render;
  return commands;
}

int RunReadCommand(const ReadCommands& commands, const ReadCommandOptions& options,
                   std::ostream& out, std::ostream& err) {
  std::string error;
  if (!CheckStoreLocation(options.location, static_cast<bool>(*commands.render), &error)) {
    err << "osl-service: " << error << "\n";
    return 2;
  }
  if (*commands.list) return ListTemplates(options.location, out, err);
  if (*commands.show) return ShowTemplate(options.location, options.id, out, err);
  return RenderCommand(options.location, options.id, options.valuesPath, options.outPath, out, err,
                       options.cmyk);
}

}  // namespace refservice

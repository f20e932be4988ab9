#include "standin/cli/publish_result.h"

#include "standin/core/terminal_text.h"

namespace osl_cli {

namespace {

using Fault = PublishRecord::Fault;
using Status = PublishRecord::Status;

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

// "template 'NAME' (ID)" with what is known.
std::string TemplateWords(const PublishRecord& record) {
  std::string words = "template";
  if (!record.name.empty()) words += " " + Quoted(record.name);
  if (!record.templateID.empty()) words += " (" + record.templateID + ")";
  return words;
}

std::string Hint(Fault fault) {
  switch (fault) {
    case Fault::kCredentials:
      return " (run `osl prefs`)";
    case Fault::kNotConfigured:
      return " (run `osl prefs --server URL --user U --password P`)";
    default:
      return "";
  }
}

}  // namespace

std::string PublishResultLine(const PublishRecord& record) {
  std::string line;
  switch (record.status) {
    case Status::kPublished:
      line =
          "published " + Quoted(record.name) + " as " + record.templateID + " to " + record.server;
      break;
    case Status::kUpdated:
      line = "updated " + Quoted(record.name) + " (" + record.templateID + ") at " + record.server;
      break;
    case Status::kNotPublished:
    case Status::kRunning:
      line = "not published: " +
             (record.reason.empty() ? std::string("the publish ended without a result")
                                    : record.reason) +
             Hint(record.fault);
      if (record.serviceMayHoldUncommitted) {
        line += "; the service may now hold an uncommitted " + TemplateWords(record);
      }
      break;
  }
  return standin::EscapeForTerminal(line);
}

std::string PublishInterruptNote(const PublishRecord& record) {
  if (record.status != Status::kRunning) return std::string();
  std::string note;
  if (record.serviceMayHoldUncommitted) {
    note = ": the service at " + record.server + " may now hold an uncommitted " +
           TemplateWords(record) + "; publish again to complete it";
  } else {
    note = ": the publish stopped before the service stored anything";
  }
  return standin::EscapeForTerminal(note + "; the document on disk is unchanged");
}

}  // namespace osl_cli

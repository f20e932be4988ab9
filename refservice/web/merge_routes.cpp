#include "refservice/web/merge_routes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "refservice/render/sheet_layout.h"
#include "text/ascii_case.h"

namespace refservice {
namespace {

HttpResponse Plain(int status, const std::string& text) {
  return HttpResponse::Text(status, text + "\n");
}

HttpResponse Json(int status, const nlohmann::json& json) {
  HttpResponse response = HttpResponse::Text(
      status, json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n",
      "application/json; charset=utf-8");
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

std::string JobAddress(const std::string& id) { return "/api/merges/" + id; }

// The sheet options of the query: per-sheet, sheet, bleed. False with `error` set.
bool SheetOptionsOf(const HttpRequestHead& head, SheetOptions* sheets, std::string* error) {
  const std::optional<std::string_view> perSheet = head.QueryValue("per-sheet");
  if (!perSheet) return true;
  const std::string count(*perSheet);
  char* end = nullptr;
  const long n = std::strtol(count.c_str(), &end, 10);
  if (count.empty() || count.size() > 4 || *end != '\0' || n < 1 || n > kMaxPerSheet) {
    *error = "per-sheet must be a number from 1 to " + std::to_string(kMaxPerSheet);
    return false;
  }
  const std::string sheet(head.QueryValue("sheet").value_or("SRA3"));
  if (!ParseSheetSize(sheet, &sheets->sheetWidth, &sheets->sheetHeight, error)) return false;
  double bleedMm = 3;
  if (const std::optional<std::string_view> bleed = head.QueryValue("bleed")) {
    const std::string text(*bleed);
    bleedMm = std::strtod(text.c_str(), &end);
    if (text.empty() || text.size() > 8 || *end != '\0' || !(bleedMm >= 0 && bleedMm <= 50)) {
      *error = "bleed must be a number of millimetres from 0 to 50";
      return false;
    }
  }
  sheets->perSheet = static_cast<int>(n);
  sheets->bleed = bleedMm * kPointsPerMm;
  return true;
}

}  // namespace

MergeRoutes::MergeRoutes(MergeJobOptions options, FileSystem* fs)
    : jobs_(std::move(options)), fs_(fs) {}

HttpResponse MergeRoutes::Start(int owner, TemplateBundle bundle, const HttpRequestHead& head,
                                std::string body) {
  if (owner < 0) return Plain(403, "merges are started with an account's credentials");
  const std::string type = textutil::Lower(std::string(head.Header("content-type").value_or("")));
  MergeRequest request;
  if (type.rfind("text/csv", 0) == 0) {
    request.format = RecordFormat::kCsv;
  } else if (type.rfind("application/json", 0) == 0) {
    request.format = RecordFormat::kJson;
  } else {
    return Plain(415, "send the records as text/csv (with a header line) or application/json");
  }
  std::string error;
  if (!SheetOptionsOf(head, &request.sheets, &error)) return Plain(400, error);
  const std::string stop(head.QueryValue("stop-on-cut").value_or("0"));
  request.stopOnCut = stop == "1" || stop == "true" || stop == "yes";
  MergeJobs::Refusal refusal = MergeJobs::Refusal::kNone;
  int retryAfter = 0;
  const std::string id = jobs_.Submit(owner, std::move(bundle), fs_, std::move(body),
                                      std::move(request), &refusal, &retryAfter, &error);
  if (id.empty()) {
    const int status = refusal == MergeJobs::Refusal::kOwnerFull   ? 429
                       : refusal == MergeJobs::Refusal::kNoFolder ? 500
                                                                  : 503;
    HttpResponse response = Plain(status, error);
    if (retryAfter > 0) response.headers.emplace_back("Retry-After", std::to_string(retryAfter));
    return response;
  }
  HttpResponse response = Json(202, {{"job", JobAddress(id)}, {"state", "queued"}});
  response.headers.emplace_back("Location", JobAddress(id));
  return response;
}

HttpResponse MergeRoutes::State(int owner, const std::string& jobId) {
  MergeJobState job;
  if (!jobs_.Find(owner, jobId, &job)) return Plain(404, "merge job " + jobId + " does not exist");
  nlohmann::json json = {{"job", JobAddress(job.id)},
                         {"template", job.templateId},
                         {"state", job.state},
                         {"done", job.done},
                         {"total", job.total}};
  if (job.state == "done") {
    json["summary"] = nlohmann::json::parse(MergeSummaryJson(job.summary));
    json["file"] = JobAddress(job.id) + "/file";
  }
  if (job.state == "failed") json["error"] = job.error;
  if (job.state == "done" || job.state == "failed") json["keptSeconds"] = job.secondsLeft;
  return Json(200, json);
}

HttpResponse MergeRoutes::File(int owner, const std::string& jobId) {
  MergeJobState job;
  if (!jobs_.Find(owner, jobId, &job)) return Plain(404, "merge job " + jobId + " does not exist");
  if (job.state != "done") {
    return Plain(409, "merge job " + jobId + " is " + job.state + ", not done");
  }
  UniqueFd fd(::open(job.path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info;
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
    return Plain(410, "the file of merge job " + jobId + " is gone");
  }
  HttpResponse response;
  response.status = 200;
  response.headers.emplace_back("Content-Type", "application/pdf");
  response.headers.emplace_back("Content-Disposition",
                                "attachment; filename=\"merge-" + job.id + ".pdf\"");
  response.headers.emplace_back("Cache-Control", "no-store");
  response.file = std::move(fd);
  response.fileSize = static_cast<uint64_t>(info.st_size);
  return response;
}

}  // namespace refservice

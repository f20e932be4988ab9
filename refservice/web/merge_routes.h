// The merge job API, for programs (HTTP Basic credentials of an account):
//
//   POST /api/templates/ID/merges   records as text/csv (a header naming the fields) or
//                                   application/json (an array of objects); options in the query:
//                                   per-sheet=N, sheet=A4|SRA3|WxH (mm), bleed=MM, stop-on-cut=1.
//                                   Answers 202 at once with the job's address in Location and
//                                   {"job": "/api/merges/JOB", "state": "queued", ...}.
//   GET  /api/merges/JOB            the job as JSON: "state" ("queued", "running", "done",
//                                   "failed"), "done" and "total" records, and when done the
//                                   "summary" and the "file" address; when failed the "error".
//   GET  /api/merges/JOB/file       the merged PDF once the job is done (409 before).
//
// A job is seen only by the account that started it; for any other caller it does not exist.
// Too many jobs of one account are refused with 429, too many in all with 503, both with
// Retry-After. Ended jobs and their files are removed after a while (and at stop).
#pragma once

#include <string>

#include "refservice/http/http_message.h"
#include "refservice/merge/merge_jobs.h"
#include "refservice/render/template_bundle.h"

namespace refservice {

class MergeRoutes {
 public:
  MergeRoutes(MergeJobOptions options, FileSystem* fs);

  // Starts a merge of `body` (records as `contentType` says) for account `owner` into
  // `bundle`, with the options of `head`'s query.
  HttpResponse Start(int owner, TemplateBundle bundle, const HttpRequestHead& head,
                     std::string body);
  // The job `jobId` of `owner` as JSON, or 404.
  HttpResponse State(int owner, const std::string& jobId);
  // The job's PDF when it is done; 409 while it is not; 404 for no such job.
  HttpResponse File(int owner, const std::string& jobId);

 private:
  MergeJobs jobs_;
  FileSystem* fs_;
};

}  // namespace refservice

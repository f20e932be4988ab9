// A publish run's record (host/IPublishReport.h), kept by the run and
// handed to the host at each change. The first stop a run reports is its
// reason; later ones (a failure while giving up) do not replace it. A run
// whose reporter goes away while the record still says "running" reports
// that it ended without a result, so the host always sees a final record.
#pragma once

#include <string>

#include "host/IPublishReport.h"
#include "host/PMString.h"

class PublishReporter {
 public:
  // Reaches the host's report on the session; without one, records only.
  PublishReporter();
  ~PublishReporter();
  PublishReporter(const PublishReporter&) = delete;
  PublishReporter& operator=(const PublishReporter&) = delete;

  // The template's name and the service's base address, as the run starts.
  void Start(const PMString& name, const PMString& server);
  // The run is about to ask the service to create or change the template.
  void RequestingTemplate();
  // The service named the template `id`.
  void TemplateNamed(const std::string& id);
  // The commit succeeded: published (a new template) or updated.
  void Succeeded(bool updated);
  // The run stopped because of `fault`; `reason` in plain words (UTF-8).
  void Stopped(PublishRecord::Fault fault, const std::string& reason, int httpStatus = 0);

  const PublishRecord& Record() const { return record_; }

 private:
  void Send();

  PublishRecord record_;
};

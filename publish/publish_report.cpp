#include "publish/publish_report.h"

#include "host/ISession.h"
#include "host/InterfacePtr.h"

PublishReporter::PublishReporter() = default;

PublishReporter::~PublishReporter() {
  if (record_.status == PublishRecord::Status::kRunning) {
    Stopped(PublishRecord::Fault::kLocal, "the publish ended without a result");
  }
}

void PublishReporter::Send() {
  InterfacePtr<IPublishReport> report(GetExecutionContextSession(), IID_IPUBLISHREPORT);
  if (report) report->Update(record_);
}

void PublishReporter::Start(const PMString& name, const PMString& server) {
  record_.name = name.GetUTF8String();
  record_.server = server.GetUTF8String();
  Send();
}

void PublishReporter::RequestingTemplate() {
  if (record_.status != PublishRecord::Status::kRunning) return;
  record_.serviceMayHoldUncommitted = true;
  Send();
}

void PublishReporter::TemplateNamed(const std::string& id) {
  if (record_.status != PublishRecord::Status::kRunning) return;
  record_.templateID = id;
  Send();
}

void PublishReporter::Succeeded(bool updated) {
  if (record_.status != PublishRecord::Status::kRunning) return;
  record_.status = updated ? PublishRecord::Status::kUpdated : PublishRecord::Status::kPublished;
  record_.serviceMayHoldUncommitted = false;
  Send();
}

void PublishReporter::Stopped(PublishRecord::Fault fault, const std::string& reason,
                              int httpStatus) {
  if (record_.status != PublishRecord::Status::kRunning) return;
  record_.status = PublishRecord::Status::kNotPublished;
  record_.fault = fault;
  record_.reason = reason;
  record_.httpStatus = httpStatus;
  Send();
}

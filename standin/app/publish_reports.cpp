#include "standin/app/publish_reports.h"

#include "host/CPMUnknown.h"

namespace standin {

namespace {

class PublishReportImpl : public CPMUnknown<IPublishReport> {
 public:
  PublishReportImpl(IPMUnknown* boss, PublishReports* reports)
      : CPMUnknown(boss), reports_(reports) {}
  void Update(const PublishRecord& record) override { reports_->Update(record); }

 private:
  PublishReports* reports_;
};

}  // namespace

void PublishReports::InstallOn(Boss& sessionBoss) {
  sessionBoss.AddNew<PublishReportImpl>(IID_IPUBLISHREPORT, this);
}

void PublishReports::Update(const PublishRecord& record) {
  last_ = record;
  if (listener_) listener_(record);
}

}  // namespace standin

// The host's side of host/IPublishReport.h: keeps the records plug-ins
// report about their publish runs, so that the command line can say in one
// line what a publish did, and lets one listener follow each change (the
// command line keeps what an interruption would leave at the service).
#pragma once

#include <functional>
#include <optional>

#include "host/IPublishReport.h"
#include "standin/core/boss.h"

namespace standin {

class PublishReports {
 public:
  using Listener = std::function<void(const PublishRecord&)>;

  // Offers IPublishReport on `sessionBoss`, reporting to this object (which
  // must outlive the boss's use of it).
  void InstallOn(Boss& sessionBoss);

  // The latest record reported since the last Clear, or none.
  const std::optional<PublishRecord>& Last() const { return last_; }
  void Clear() { last_.reset(); }
  // Called with every record as it is reported (null: nobody).
  void SetListener(Listener listener) { listener_ = std::move(listener); }

  // What the plug-in's reports arrive at.
  void Update(const PublishRecord& record);

 private:
  std::optional<PublishRecord> last_;
  Listener listener_;
};

}  // namespace standin

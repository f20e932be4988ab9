// The host's change notifiers (ISubject) and their bookkeeping: every live
// subject of one host, so that an observer that goes away is detached from
// all of them, and the depth of the notifications running now. A
// notification nested deeper than 32 levels is dropped with a line on
// stderr instead of recursing without end.
#pragma once

#include <vector>

#include "host/IObserver.h"
#include "standin/core/boss.h"

namespace standin {

class SubjectImpl;

class SubjectRegistry {
 public:
  SubjectRegistry() = default;
  SubjectRegistry(const SubjectRegistry&) = delete;
  SubjectRegistry& operator=(const SubjectRegistry&) = delete;

  // Gives `boss` an ISubject of this host when it has none.
  void AddSubject(Boss& boss);
  // Detaches `observer` from every live subject (observers call it when
  // they are destroyed).
  void Forget(IObserver* observer);
  // The number of ISubject::Change calls running now (0 outside any
  // notification). The host destroys widgets only when it is 0.
  int NotificationDepth() const { return depth_; }

 private:
  friend class SubjectImpl;
  bool IsLive(const SubjectImpl* subject) const;
  std::vector<SubjectImpl*> live_;
  int depth_ = 0;
};

}  // namespace standin

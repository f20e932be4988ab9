#include "standin/ui/subjects.h"

#include <algorithm>
#include <cstdio>

#include "host/CPMUnknown.h"
#include "host/ISubject.h"

namespace standin {

namespace {
constexpr int kMaxNotificationDepth = 32;
}  // namespace

class SubjectImpl : public CPMUnknown<ISubject> {
 public:
  SubjectImpl(IPMUnknown* boss, SubjectRegistry* registry) : CPMUnknown(boss), registry_(registry) {
    registry_->live_.push_back(this);
  }
  ~SubjectImpl() override {
    auto& live = registry_->live_;
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
  }

  bool16 AttachObserver(IObserver* observer, PMIID protocol, PMIID asObserverIID) override {
    if (!observer || IsAttached(observer, protocol, asObserverIID)) return 0;
    attachments_.push_back({observer, protocol, asObserverIID});
    return 1;
  }

  bool16 DetachObserver(IObserver* observer, PMIID protocol, PMIID asObserverIID) override {
    for (auto it = attachments_.begin(); it != attachments_.end(); ++it) {
      if (it->observer == observer && it->protocol == protocol && it->asIID == asObserverIID) {
        attachments_.erase(it);
        return 1;
      }
    }
    return 0;
  }

  bool16 IsAttached(IObserver* observer, PMIID protocol, PMIID asObserverIID) const override {
    for (const auto& a : attachments_) {
      if (a.observer == observer && a.protocol == protocol && a.asIID == asObserverIID) return 1;
    }
    return 0;
  }

  void Change(ClassID theChange, PMIID protocol, void* changedBy) override {
    if (registry_->depth_ >= kMaxNotificationDepth) {
      std::fprintf(stderr,
                   "[widget] change 0x%x dropped: notifications nested deeper than %d levels\n",
                   static_cast<unsigned>(theChange), kMaxNotificationDepth);
      return;
    }
    SubjectRegistry* registry = registry_;
    ++registry->depth_;
    const auto snapshot = attachments_;
    for (const auto& a : snapshot) {
      if (a.protocol != protocol) continue;
      // An earlier observer may have detached this one, or destroyed it.
      if (!IsAttached(a.observer, a.protocol, a.asIID)) continue;
      if (!a.observer->IsEnabled()) continue;
      a.observer->Update(theChange, this, protocol, changedBy);
      if (!registry->IsLive(this)) break;  // the subject went away with its widget
    }
    --registry->depth_;
  }

  void Forget(IObserver* observer) {
    attachments_.erase(
        std::remove_if(attachments_.begin(), attachments_.end(),
                       [observer](const Attachment& a) { return a.observer == observer; }),
        attachments_.end());
  }

 private:
  struct Attachment {
    IObserver* observer;
    PMIID protocol;
    PMIID asIID;
  };
  SubjectRegistry* registry_;
  std::vector<Attachment> attachments_;
};

void SubjectRegistry::AddSubject(Boss& boss) {
  if (!boss.Has(IID_ISUBJECT)) boss.AddNew<SubjectImpl>(IID_ISUBJECT, this);
}

void SubjectRegistry::Forget(IObserver* observer) {
  for (SubjectImpl* subject : live_) subject->Forget(observer);
}

bool SubjectRegistry::IsLive(const SubjectImpl* subject) const {
  return std::find(live_.begin(), live_.end(), subject) != live_.end();
}

}  // namespace standin

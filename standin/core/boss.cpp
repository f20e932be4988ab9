#include "standin/core/boss.h"

namespace standin {

Boss::Boss(std::string className) : className_(std::move(className)) {}

Boss::~Boss() {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->destroy) it->destroy(it->impl);
  }
}

IPMUnknown* Boss::QueryInterface(PMIID iid) const {
  if (iid == IID_IUNKNOWN_BOSS) {
    AddRef();
    return const_cast<Boss*>(this);
  }
  for (const auto& e : entries_) {
    if (e.iid == iid) {
      AddRef();
      return e.impl;
    }
  }
  return nullptr;
}

void Boss::Add(PMIID iid, IPMUnknown* impl, ImplDestroyFn destroy) {
  if (!impl) return;
  Remove(iid);
  entries_.push_back(Entry{iid, impl, destroy});
}

bool Boss::Has(PMIID iid) const {
  for (const auto& e : entries_) {
    if (e.iid == iid) return true;
  }
  return false;
}

void Boss::Remove(PMIID iid) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->iid == iid) {
      if (it->destroy) it->destroy(it->impl);
      entries_.erase(it);
      return;
    }
  }
}

Boss* Boss::Of(const IPMUnknown* object) {
  if (!object) return nullptr;
  IPMUnknown* boss = object->QueryInterface(IID_IUNKNOWN_BOSS);
  if (!boss) return nullptr;
  boss->Release();
  return dynamic_cast<Boss*>(boss);
}

}  // namespace standin

UIDRef GetUIDRef(const IPMUnknown* object) {
  const standin::Boss* boss = standin::Boss::Of(object);
  return boss ? boss->GetUIDRef() : UIDRef();
}

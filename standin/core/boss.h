// Bosses of the stand-in: component objects that aggregate implementations
// by interface identifier. Host objects (session, documents, page items,
// selections, dialogs) and plug-in bosses are all Boss instances.
#pragma once

#include <string>
#include <vector>

#include "host/CPMUnknown.h"
#include "host/UIDRef.h"

namespace standin {

class Boss : public IPMUnknown {
 public:
  explicit Boss(std::string className = {});
  Boss(const Boss&) = delete;
  Boss& operator=(const Boss&) = delete;
  // Destroys every implementation, in reverse order of addition.
  virtual ~Boss();

  // Answers the implementation of `iid` (with a reference added), the boss
  // itself for IID_IUNKNOWN_BOSS, or null.
  IPMUnknown* QueryInterface(PMIID iid) const override;
  void AddRef() const override { ++refs_; }
  void Release() const override { --refs_; }
  // References handed out and not yet released; tests use it to find leaks.
  int32 RefCount() const { return refs_; }

  // Adds an implementation the boss owns from now on; `destroy` deletes it.
  // A later addition for the same `iid` replaces the earlier one.
  void Add(PMIID iid, IPMUnknown* impl, ImplDestroyFn destroy);
  // Adds an implementation of a host class built with `args`.
  template <class Impl, class... Args>
  Impl* AddNew(PMIID iid, Args&&... args) {
    auto* impl = new Impl(this, std::forward<Args>(args)...);
    Add(iid, impl, &DestroyImplementation<Impl>);
    return impl;
  }
  bool Has(PMIID iid) const;
  // Removes (and destroys) the implementation of `iid`, if any.
  void Remove(PMIID iid);

  const std::string& ClassName() const { return className_; }
  // The persistent name of the object (null for non-persistent bosses).
  const UIDRef& GetUIDRef() const { return ref_; }
  void SetUIDRef(const UIDRef& ref) { ref_ = ref; }

  // The Boss behind any implementation or boss pointer, or null when the
  // object is not one of the stand-in's bosses.
  static Boss* Of(const IPMUnknown* object);

 private:
  struct Entry {
    PMIID iid;
    IPMUnknown* impl;
    ImplDestroyFn destroy;
  };
  std::string className_;
  std::vector<Entry> entries_;
  mutable int32 refs_ = 0;
  UIDRef ref_;
};

}  // namespace standin

// Names of persistent objects: a database and a UID inside it.
#pragma once

#include <cstddef>

#include "BaseTypes.h"

class IPMUnknown;

// A document's object store. Instantiate returns the object `uid` queried
// for `iid` with one reference added, or null when the object does not exist
// or lacks the interface.
class IDataBase {
 public:
  virtual IPMUnknown* Instantiate(UID uid, PMIID iid) const = 0;
  virtual bool IsValidUID(UID uid) const = 0;

 protected:
  ~IDataBase() = default;
};

class UIDRef {
 public:
  UIDRef() = default;
  UIDRef(IDataBase* db, UID uid) : db_(db), uid_(uid) {}
  IDataBase* GetDataBase() const { return db_; }
  UID GetUID() const { return uid_; }
  bool ExistsInDB() const { return db_ && uid_ != kInvalidUID && db_->IsValidUID(uid_); }
  bool operator==(const UIDRef& o) const { return db_ == o.db_ && uid_ == o.uid_; }
  bool operator!=(const UIDRef& o) const { return !(*this == o); }

  static const UIDRef gNull;

 private:
  IDataBase* db_ = nullptr;
  UID uid_ = kInvalidUID;
};

inline const UIDRef UIDRef::gNull{};

class UIDList {
 public:
  UIDList() = default;
  explicit UIDList(IDataBase* db) : db_(db) {}
  IDataBase* GetDataBase() const { return db_; }
  int32 Length() const { return static_cast<int32>(uids_.size()); }
  bool IsEmpty() const { return uids_.empty(); }
  UID At(int32 i) const { return uids_[static_cast<size_t>(i)]; }
  UIDRef GetRef(int32 i) const { return UIDRef(db_, At(i)); }
  void Append(UID uid) { uids_.push_back(uid); }
  UID operator[](int32 i) const { return At(i); }

 private:
  IDataBase* db_ = nullptr;
  K2Vector<UID> uids_;
};

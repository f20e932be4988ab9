// Scoped owner of one interface reference: releases it on scope exit.
#pragma once

#include <utility>

#include "IPMUnknown.h"
#include "UIDRef.h"

template <class T>
class InterfacePtr {
 public:
  InterfacePtr() = default;
  // Adopts a reference the caller already holds (null allowed).
  explicit InterfacePtr(T* adopted) : ptr_(adopted) {}
  // Queries `object` (null allowed) for `iid`.
  InterfacePtr(const IPMUnknown* object, PMIID iid)
      : ptr_(object ? static_cast<T*>(object->QueryInterface(iid)) : nullptr) {}
  // Queries `object` for the interface's default identifier.
  explicit InterfacePtr(const IPMUnknown* object)
      : InterfacePtr(object, static_cast<PMIID>(T::kDefaultIID)) {}
  // Instantiates the persistent object `ref` and queries it for `iid`.
  InterfacePtr(const UIDRef& ref, PMIID iid)
      : ptr_(ref.GetDataBase() ? static_cast<T*>(ref.GetDataBase()->Instantiate(ref.GetUID(), iid))
                               : nullptr) {}

  InterfacePtr(const InterfacePtr& other) : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  InterfacePtr(InterfacePtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  InterfacePtr& operator=(InterfacePtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  ~InterfacePtr() { reset(); }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  operator T*() const { return ptr_; }

  // Gives up ownership without releasing.
  T* forget() { return std::exchange(ptr_, nullptr); }
  void reset(T* adopted = nullptr) {
    if (ptr_) ptr_->Release();
    ptr_ = adopted;
  }

 private:
  T* ptr_ = nullptr;
};

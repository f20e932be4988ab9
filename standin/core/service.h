// A host service that a test can replace for a while. The host hands out
// the service through Get(); a test wraps the real one (a wrapper class that
// forwards every operation and overrides one) and installs the wrapper with
// a Replacement, which puts the previous one back when it goes out of scope.
#pragma once

#include <memory>
#include <utility>

namespace standin {

template <class S>
class Service {
 public:
  explicit Service(std::unique_ptr<S> real) : real_(std::move(real)), active_(real_.get()) {}
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // The service in force now (the real one unless a replacement is active).
  S& Get() const { return *active_; }
  S* operator->() const { return active_; }
  // The real service, to be wrapped.
  S& Real() const { return *real_; }

  // Installs `replacement` (not owned) until the object is destroyed.
  // Replacements nest; they must end in the reverse order of their start.
  class Replacement {
   public:
    Replacement(Service& service, S* replacement)
        : service_(service), previous_(service.active_) {
      service_.active_ = replacement;
    }
    ~Replacement() { service_.active_ = previous_; }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

   private:
    Service& service_;
    S* previous_;
  };

 private:
  std::unique_ptr<S> real_;
  S* active_;
};

}  // namespace standin

// The subject of the active selection: ActiveSelectionObserver attaches to
// it for IID_ISELECTIONCHANGED. Every change of the host's selection
// manager is sent as an ISelectionMessage::kSelectionChanged message.
#pragma once

#include <memory>

#include "host/ISelectionMessage.h"
#include "host/ISubject.h"
#include "standin/core/boss.h"

namespace standin {

class SelectionManager;
class SubjectRegistry;

class SelectionSubject {
 public:
  // Listens to `selection` until destroyed; both arguments must outlive it.
  SelectionSubject(SelectionManager& selection, SubjectRegistry& subjects);
  ~SelectionSubject();
  SelectionSubject(const SelectionSubject&) = delete;
  SelectionSubject& operator=(const SelectionSubject&) = delete;

  // The subject (no reference added).
  ISubject* Subject() const;
  // Sends `type` to the attached observers.
  void Send(ISelectionMessage::MessageType type);

 private:
  SelectionManager& selection_;
  std::unique_ptr<Boss> boss_;
  int listener_ = 0;
};

}  // namespace standin

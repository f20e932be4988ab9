// The active selection: an abstract selection boss (selection manager,
// integrator target, label suite, plus the suites plug-ins add to it) in
// front of concrete selection bosses (layout, text, defaults) that carry
// the targets and the plug-ins' concrete suites.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "host/ISelectionManager.h"
#include "standin/core/boss.h"

namespace standin {

class Document;
class ObjectModel;

class SelectionManager {
 public:
  enum class Concrete { kLayout, kText, kDefaults };

  // The bosses are made by `objects` (with the add-ins plug-ins declared for
  // their classes); `objects` must outlive the selection manager.
  explicit SelectionManager(const ObjectModel& objects);
  ~SelectionManager();

  // Builds the abstract and concrete bosses anew, with the add-ins declared
  // now; the selection and the listeners stay.
  void RebuildBosses();

  Boss& AbstractBoss() { return *abstract_; }
  ISelectionManager* Interface() const;

  // A layout selection of `uids` in `doc` (empty = layout view, nothing
  // selected). Unknown UIDs are the caller's mistake: they are kept out.
  void SelectItems(Document* doc, const std::vector<UID>& uids);
  // A text selection inside the story of the text frame `frame`.
  void SelectText(Document* doc, UID frame);
  // No document: only the defaults selection is present.
  void Clear();
  // Replaces which concrete selections are present and their order (the
  // host's collection order). Used to build mixed selections.
  void SetConcrete(const std::vector<Concrete>& present) {
    present_ = present;
    Notify();
  }

  Document* SelectedDocument() const { return doc_; }
  const std::vector<UID>& SelectedItems() const { return items_; }
  UID TextFrame() const { return textFrame_; }
  const std::vector<Concrete>& Present() const { return present_; }
  Boss& ConcreteBoss(Concrete kind);

  // `listener` runs after every selection change until removed. Returns a
  // token for RemoveListener.
  int AddListener(std::function<void()> listener);
  void RemoveListener(int token);

 private:
  void Notify();
  const ObjectModel& objects_;
  std::unique_ptr<Boss> abstract_;
  std::unique_ptr<Boss> layout_;
  std::unique_ptr<Boss> text_;
  std::unique_ptr<Boss> defaults_;
  std::vector<Concrete> present_{Concrete::kDefaults};
  Document* doc_ = nullptr;
  std::vector<UID> items_;
  UID textFrame_ = kInvalidUID;
  std::vector<std::pair<int, std::function<void()>>> listeners_;
  int nextToken_ = 1;
};

}  // namespace standin

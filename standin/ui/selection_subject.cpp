#include "standin/ui/selection_subject.h"

#include "host/WidgetInterfaceIDs.h"
#include "standin/selection/selection_manager.h"
#include "standin/ui/subjects.h"

namespace standin {

namespace {

class SelectionMessage : public ISelectionMessage {
 public:
  explicit SelectionMessage(MessageType type) : type_(type) {}
  MessageType GetMessageType() const override { return type_; }
  bool16 WasSuiteAffected(PMIID) const override { return 1; }

 private:
  MessageType type_;
};

}  // namespace

SelectionSubject::SelectionSubject(SelectionManager& selection, SubjectRegistry& subjects)
    : selection_(selection), boss_(std::make_unique<Boss>("kSelectionSubjectBoss")) {
  subjects.AddSubject(*boss_);
  listener_ =
      selection_.AddListener([this] { Send(ISelectionMessage::kSelectionChanged); });
}

SelectionSubject::~SelectionSubject() { selection_.RemoveListener(listener_); }

ISubject* SelectionSubject::Subject() const {
  IPMUnknown* subject = boss_->QueryInterface(IID_ISUBJECT);
  if (subject) subject->Release();
  return static_cast<ISubject*>(subject);
}

void SelectionSubject::Send(ISelectionMessage::MessageType type) {
  SelectionMessage message(type);
  if (ISubject* subject = Subject()) {
    subject->Change(kSelectionChangedMessage, IID_ISELECTIONCHANGED,
                    static_cast<ISelectionMessage*>(&message));
  }
}

}  // namespace standin

// Base of observers that follow the active selection (panels that show the
// selected items). AutoAttach attaches to the active selection's subject,
// AutoDetach detaches; while attached, every selection change arrives as an
// Update under IID_ISELECTIONCHANGED (theChange kSelectionChangedMessage,
// changedBy an ISelectionMessage*), which this class's Update hands to
// HandleSelectionUpdate and from there to the Handle* operation for the
// message's type. Derived observers that override Update must call this
// class's Update for selection messages to arrive.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "CObserver.h"
#include "ISelectionManager.h"
#include "ISelectionMessage.h"

class ActiveSelectionObserver : public CObserver {
 public:
  explicit ActiveSelectionObserver(IPMUnknown* boss, PMIID attachIID = IID_IOBSERVER);
  // Detaches from the selection when still attached.
  ~ActiveSelectionObserver() override;

  void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
              void* changedBy) override;
  void AutoAttach() override;
  void AutoDetach() override;

 protected:
  // Other items are selected (`message` may be null). Base: nothing.
  virtual void HandleSelectionChanged(const ISelectionMessage* message);
  // One change of a rapid series. Base: nothing.
  virtual void HandleFrequentSelectionChanged(const ISelectionMessage* message);
  // Attributes of the selected items changed. Base: nothing.
  virtual void HandleSelectionAttributeChanged(const ISelectionMessage* message);
  // Attaches to (detaches from) the subject of `selection` for `protocol`;
  // a null selection is ignored.
  virtual void AttachToSelectionSubject(ISelectionManager* selection,
                                        PMIID protocol = IID_ISELECTIONCHANGED);
  virtual void DetachFromSelectionSubject(ISelectionManager* selection,
                                          PMIID protocol = IID_ISELECTIONCHANGED);
  // The active selection is another selection manager: detaches from the old
  // one, attaches to the new one and handles a selection change.
  virtual void HandleActiveSelectionChanged();
  // Dispatches a selection message by its type.
  virtual void HandleSelectionUpdate(const ClassID& theChange, ISubject* theSubject,
                                     const PMIID& protocol, void* changedBy);
  // The selection the observer is attached to, with a reference added; null
  // when not attached.
  virtual ISelectionManager* QueryAbstractSelection() const;
  virtual void AttachToActiveSelection();
  virtual void DetachFromActiveSelection();

 private:
  ISelectionManager* selection_ = nullptr;
};

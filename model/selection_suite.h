// The plug-in's window onto the user's selection. Callers query a selection
// manager for IOslSuite and get the abstract implementation, which forwards
// each call to the concrete implementations on the current concrete
// selections (layout, text, defaults) and combines their answers.
#pragma once

#include "host/CPMUnknown.h"
#include "host/PMString.h"
#include "plugin_base/osl_id.h"

class IOslSuite : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IOSLSUITE };
  virtual bool16 CanApply() const = 0;                      // any concrete answers true
  virtual ErrorCode Apply() = 0;                            // first non-zero code, in a sequence
  virtual bool16 IsApplicable() const = 0;                  // all concrete answer true
  virtual ErrorCode Refresh() const = 0;                    // first non-zero code, in a sequence
  virtual void CollectValues(K2Vector<int32>& values) = 0;  // every concrete appends
  virtual ErrorCode ApplyValue(int32 value) = 0;            // first non-zero code, in a sequence
  virtual ErrorCode SetItemData(const WideString& text) = 0;
  virtual ErrorCode GetItemData(WideString& text) = 0;
  virtual ErrorCode SetDocData(const WideString& text) = 0;
  virtual ErrorCode GetDocData(WideString& text) = 0;
  // -1: one text frame or a text selection; 1: one other item; n >= 2: n
  // items; 0: nothing usable (nothing selected, or one guide).
  virtual int GetSelectionKind() = 0;
  virtual int IsDoc() = 0;
  virtual ~IOslSuite() = default;
};

// On the abstract selection: forwards to the concrete implementations, from
// the last of the host's collection to the first.
class OslSuiteASB : public CPMUnknown<IOslSuite> {
 public:
  explicit OslSuiteASB(IPMUnknown* boss);
  bool16 CanApply() const override;
  ErrorCode Apply() override;
  bool16 IsApplicable() const override;
  ErrorCode Refresh() const override;
  void CollectValues(K2Vector<int32>& values) override;
  ErrorCode ApplyValue(int32 value) override;
  // The four data operations reach every concrete implementation and
  // always answer 0.
  ErrorCode SetItemData(const WideString& text) override;
  ErrorCode GetItemData(WideString& text) override;
  ErrorCode SetDocData(const WideString& text) override;
  ErrorCode GetDocData(WideString& text) override;
  // The first non-zero answer (as a signed 16-bit number), else 0.
  int GetSelectionKind() override;
  int IsDoc() override;
  ~OslSuiteASB() override;
};

// On a concrete selection. Behaves by what its own boss offers (layout or
// text target), not by its class.
class OslSuiteCSB : public CPMUnknown<IOslSuite> {
 public:
  explicit OslSuiteCSB(IPMUnknown* boss);
  bool16 CanApply() const override;
  ErrorCode Apply() override;
  bool16 IsApplicable() const override;
  ErrorCode Refresh() const override;
  void CollectValues(K2Vector<int32>& values) override;
  ErrorCode ApplyValue(int32 value) override;
  // Without a layout target the text goes to (comes from) the fallback
  // string; with exactly one selected item it goes to that item's own
  // IOslSuite when it has one. Answer 0.
  ErrorCode SetItemData(const WideString& text) override;
  ErrorCode GetItemData(WideString& text) override;
  // Hand the text to (take it from) the IOslSuite of this implementation's
  // own persistent boss, if it has one. Answer 0.
  ErrorCode SetDocData(const WideString& text) override;
  ErrorCode GetDocData(WideString& text) override;
  int GetSelectionKind() override;
  // Shows which targets it sees, as information alerts. Answers 0.
  int IsDoc() override;
  ~OslSuiteCSB() override;

 private:
  WideString fallback_;
};

class OslSuiteLayoutCSB : public OslSuiteCSB {
 public:
  using OslSuiteCSB::OslSuiteCSB;
};

class OslSuiteTextCSB : public OslSuiteCSB {
 public:
  using OslSuiteCSB::OslSuiteCSB;
};

class OslSuiteDefaultsCSB : public OslSuiteCSB {
 public:
  using OslSuiteCSB::OslSuiteCSB;
};

// The document data facade: a registered implementation that announces its
// document operations with information alerts and touches no document. The
// template data itself is read and written through tag_map.h.
#pragma once

#include "host/CPMUnknown.h"
#include "host/PMString.h"
#include "plugin_base/osl_id.h"

class IOslFacade : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IOSLFACADE };
  virtual bool16 IsAvailable() const = 0;
  virtual bool16 IsEnabled() const = 0;
  virtual bool16 IsVisible() const = 0;
  virtual bool16 IsReady() const = 0;
  // Appends the single value 1 to `values`; `which` is ignored.
  virtual void CollectValues(int32 which, K2Vector<int32>& values) = 0;
  virtual int32 GetCount() const = 0;
  virtual int32 GetVersion() const = 0;
  // Overwrites `name` with "OslFacade".
  virtual ErrorCode GetFacadeName(WideString& name) const = 0;
  virtual ErrorCode SetDocData(const WideString& data) = 0;
  virtual ErrorCode GetDocData(WideString& data) = 0;
  virtual int32 GetFlags() const = 0;
  virtual int IsDoc() = 0;
  virtual ~IOslFacade() = default;
};

class OslFacade : public CPMUnknown<IOslFacade> {
 public:
  explicit OslFacade(IPMUnknown* boss);
  bool16 IsAvailable() const override;
  bool16 IsEnabled() const override;
  bool16 IsVisible() const override;
  bool16 IsReady() const override;
  void CollectValues(int32 which, K2Vector<int32>& values) override;
  int32 GetCount() const override;
  int32 GetVersion() const override;
  ErrorCode GetFacadeName(WideString& name) const override;
  // Shows "OslFacade::SetDocData"; the argument is ignored.
  ErrorCode SetDocData(const WideString& data) override;
  // Shows "OslFacade::GetDocData"; the argument is left as it was.
  ErrorCode GetDocData(WideString& data) override;
  int32 GetFlags() const override;
  // Shows "int", three tabs, "OslFacade::IsDoc(void)".
  int IsDoc() override;
  ~OslFacade() override;
};

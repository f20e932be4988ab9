#include "model/selection_suite.h"

#include <boost/bind/bind.hpp>
#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include "host/CAlert.h"
#include "host/CmdUtils.h"
#include "host/IPageItemData.h"
#include "host/ISelectionManager.h"
#include "host/InterfacePtr.h"
#include "host/PersistUtils.h"
#include "plugin_base/impl_registry.h"

using boost::placeholders::_1;

static osl::RegisterImplementation<OslSuiteASB> gRegisterASB(kOslSuiteASBImpl);
static osl::RegisterImplementation<OslSuiteLayoutCSB> gRegisterLayoutCSB(kOslSuiteLayoutCSBImpl);
static osl::RegisterImplementation<OslSuiteTextCSB> gRegisterTextCSB(kOslSuiteTextCSBImpl);
static osl::RegisterImplementation<OslSuiteDefaultsCSB> gRegisterDefaultsCSB(
    kOslSuiteDefaultsCSBImpl);

// ---- abstract side: dispatch -----------------------------------------------

namespace {

using Collection = IIntegratorTarget::TargetSuiteCollection;

// The concrete suites on the current selections, held by a shared owner
// that releases them (and nothing else) when the call ends. Empty when the
// abstract selection offers no integrator target.
boost::shared_ptr<Collection> ConcreteSuites(const IPMUnknown* self) {
  InterfacePtr<IIntegratorTarget> target(self, IID_IINTEGRATORTARGET);
  if (!target) return boost::shared_ptr<Collection>(new Collection());
  return boost::shared_ptr<Collection>(target->GetTarget(IID_IOSLSUITE).release());
}

IOslSuite* SuiteAt(const Collection& suites, size_t i) {
  return static_cast<IOslSuite*>(suites[i].get());
}

bool16 VisitAny(const IPMUnknown* self, const boost::function<bool16(IOslSuite*)>& call) {
  auto suites = ConcreteSuites(self);
  for (size_t i = suites->size(); i-- > 0;) {
    if (call(SuiteAt(*suites, i))) return 1;
  }
  return 0;
}

bool16 VisitAll(const IPMUnknown* self, const boost::function<bool16(IOslSuite*)>& call) {
  auto suites = ConcreteSuites(self);
  for (size_t i = suites->size(); i-- > 0;) {
    if (!call(SuiteAt(*suites, i))) return 0;
  }
  return 1;
}

void VisitEach(const IPMUnknown* self, const boost::function<void(IOslSuite*)>& call) {
  auto suites = ConcreteSuites(self);
  for (size_t i = suites->size(); i-- > 0;) call(SuiteAt(*suites, i));
}

// Runs the concrete calls inside one command sequence until one answers a
// non-zero code, publishing each answer as the global error code.
ErrorCode VisitProcess(const IPMUnknown* self, const boost::function<ErrorCode(IOslSuite*)>& call) {
  auto suites = ConcreteSuites(self);
  if (suites->empty()) return kSuccess;
  CmdUtils::SequenceContext sequence;
  ErrorCode result = kSuccess;
  for (size_t i = suites->size(); i-- > 0 && result == kSuccess;) {
    (void)sequence.GetState();
    result = call(SuiteAt(*suites, i));
    ErrorUtils::PMSetGlobalErrorCode(result);
  }
  return result;
}

// The first answer whose low 16 bits are not all zero, as a signed 16-bit
// number; 0 when none.
int VisitFirstNonZero(const IPMUnknown* self, const boost::function<int(IOslSuite*)>& call) {
  auto suites = ConcreteSuites(self);
  for (size_t i = suites->size(); i-- > 0;) {
    const int answer = call(SuiteAt(*suites, i));
    if ((answer & 0xFFFF) != 0) return static_cast<int16>(answer & 0xFFFF);
  }
  return 0;
}

}  // namespace

OslSuiteASB::OslSuiteASB(IPMUnknown* boss) : CPMUnknown(boss) {}
OslSuiteASB::~OslSuiteASB() = default;

bool16 OslSuiteASB::CanApply() const {
  return VisitAny(this, boost::bind(&IOslSuite::CanApply, _1));
}

ErrorCode OslSuiteASB::Apply() { return VisitProcess(this, boost::bind(&IOslSuite::Apply, _1)); }

bool16 OslSuiteASB::IsApplicable() const {
  return VisitAll(this, boost::bind(&IOslSuite::IsApplicable, _1));
}

ErrorCode OslSuiteASB::Refresh() const {
  return VisitProcess(this, boost::bind(&IOslSuite::Refresh, _1));
}

void OslSuiteASB::CollectValues(K2Vector<int32>& values) {
  VisitEach(this, boost::bind(&IOslSuite::CollectValues, _1, boost::ref(values)));
}

ErrorCode OslSuiteASB::ApplyValue(int32 value) {
  return VisitProcess(this, boost::bind(&IOslSuite::ApplyValue, _1, value));
}

ErrorCode OslSuiteASB::SetItemData(const WideString& text) {
  VisitFirstNonZero(this, boost::bind(&IOslSuite::SetItemData, _1, boost::cref(text)));
  return kSuccess;
}

ErrorCode OslSuiteASB::GetItemData(WideString& text) {
  VisitFirstNonZero(this, boost::bind(&IOslSuite::GetItemData, _1, boost::ref(text)));
  return kSuccess;
}

ErrorCode OslSuiteASB::SetDocData(const WideString& text) {
  VisitFirstNonZero(this, boost::bind(&IOslSuite::SetDocData, _1, boost::cref(text)));
  return kSuccess;
}

ErrorCode OslSuiteASB::GetDocData(WideString& text) {
  VisitFirstNonZero(this, boost::bind(&IOslSuite::GetDocData, _1, boost::ref(text)));
  return kSuccess;
}

int OslSuiteASB::GetSelectionKind() {
  return VisitFirstNonZero(this, boost::bind(&IOslSuite::GetSelectionKind, _1));
}

int OslSuiteASB::IsDoc() { return VisitFirstNonZero(this, boost::bind(&IOslSuite::IsDoc, _1)); }

// ---- concrete side ---------------------------------------------------------

OslSuiteCSB::OslSuiteCSB(IPMUnknown* boss) : CPMUnknown(boss) {}
OslSuiteCSB::~OslSuiteCSB() = default;

bool16 OslSuiteCSB::CanApply() const { return 1; }
ErrorCode OslSuiteCSB::Apply() { return 1; }
bool16 OslSuiteCSB::IsApplicable() const { return 1; }
ErrorCode OslSuiteCSB::Refresh() const { return 1; }
void OslSuiteCSB::CollectValues(K2Vector<int32>& values) { values.push_back(1); }
ErrorCode OslSuiteCSB::ApplyValue(int32) { return kSuccess; }

namespace {

// The IOslSuite of the single selected item of `layout`, or null.
IOslSuite* QuerySingleItemSuite(const ILayoutTarget* layout) {
  if (!layout->HasSelection()) return nullptr;
  const UIDList items = layout->GetUIDList();
  if (items.Length() != 1) return nullptr;
  InterfacePtr<IOslSuite> suite(items.GetRef(0), IID_IOSLSUITE);
  return suite.forget();
}

}  // namespace

ErrorCode OslSuiteCSB::SetItemData(const WideString& text) {
  InterfacePtr<ILayoutTarget> layout(this, IID_ILAYOUTTARGET);
  if (!layout) {
    fallback_ = text;
    return kSuccess;
  }
  InterfacePtr<IOslSuite> item(QuerySingleItemSuite(layout));
  if (item) item->SetItemData(text);
  return kSuccess;
}

ErrorCode OslSuiteCSB::GetItemData(WideString& text) {
  InterfacePtr<ILayoutTarget> layout(this, IID_ILAYOUTTARGET);
  if (!layout) {
    text = fallback_;
    return kSuccess;
  }
  InterfacePtr<IOslSuite> item(QuerySingleItemSuite(layout));
  if (item) item->GetItemData(text);
  return kSuccess;
}

ErrorCode OslSuiteCSB::SetDocData(const WideString& text) {
  const UIDRef own = ::GetUIDRef(this);
  if (own == UIDRef::gNull) return kSuccess;
  InterfacePtr<IOslSuite> suite(own, IID_IOSLSUITE);
  if (suite) suite->SetItemData(text);
  return kSuccess;
}

ErrorCode OslSuiteCSB::GetDocData(WideString& text) {
  const UIDRef own = ::GetUIDRef(this);
  if (own == UIDRef::gNull) return kSuccess;
  InterfacePtr<IOslSuite> suite(own, IID_IOSLSUITE);
  if (suite) suite->GetItemData(text);
  return kSuccess;
}

int OslSuiteCSB::GetSelectionKind() {
  InterfacePtr<ILayoutTarget> layout(this, IID_ILAYOUTTARGET);
  if (!layout) {
    InterfacePtr<ITextTarget> text(this, IID_ITEXTTARGET);
    return text ? -1 : 0;
  }
  if (!layout->HasSelection()) return 0;
  const UIDList items = layout->GetUIDList();
  if (items.Length() != 1) return items.Length();
  const UIDRef item = items.GetRef(0);
  InterfacePtr<IGuideData> guide(item, IID_IGUIDEDATA);
  if (guide) return 0;
  InterfacePtr<IGraphicFrameData> frame(item, IID_IGRAPHICFRAMEDATA);
  if (frame) {
    const UIDRef content(item.GetDataBase(), frame->GetTextContentUID());
    InterfacePtr<IMultiColumnItemData> columns(content, IID_IMULTICOLUMNITEMDATA);
    if (columns && columns->GetTextModelUID() != kInvalidUID) return -1;
  }
  return 1;
}

int OslSuiteCSB::IsDoc() {
  CAlert::InformationAlert(
      PMString("int OslSuiteCSB::IsDoc(void)", PMString::kDontTranslateDuringCall));
  InterfacePtr<ILayoutTarget> layout(this, IID_ILAYOUTTARGET);
  if (layout) {
    CAlert::InformationAlert(PMString("idoc.1", PMString::kDontTranslateDuringCall));
    if (layout->HasSelection()) {
      CAlert::InformationAlert(PMString("idoc.2", PMString::kDontTranslateDuringCall));
      (void)layout->GetUIDList();
    }
  }
  return 0;
}

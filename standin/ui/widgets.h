// The stand-in's headless widgets. Every widget is a boss: first the
// implementations the plug-ins declare for its boss class (controllers,
// observers, event handlers), then the host's: IControlView and ISubject on
// all of them, and by kind
//
//   panel, cluster  IPanelControlData (a cluster is a panel of radio buttons)
//   panellist       IPanelControlData, IDialogPanelSwitcher
//   editbox         ITextControlData, IEventHandler (the host's edit-box
//                   handler unless the boss class brings its own)
//   text            ITextControlData (static text)
//   dropdown        IStringListControlData, IDropDownListController,
//                   ITextControlData (the selected entry's text)
//   checkbox, radio ITriStateControlData
//   button          IBooleanControlData (momentary)
//
// A WidgetNode holds a widget's state; the boss's IControlView
// implementation owns it, and a node owns the bosses of its child widgets.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/IObserver.h"
#include "host/ITriStateControlData.h"
#include "host/PMString.h"
#include "host/WidgetInterfaceIDs.h"
#include "standin/core/boss.h"

class ISubject;

namespace standin {

class ObjectModel;
class SubjectRegistry;

// What building widgets needs from the host: the object model (a widget's
// boss carries the add-ins plug-ins declare for its class), the subjects,
// and the host's default key handler of edit boxes. It must outlive every
// widget built with it.
struct WidgetToolkit {
  const ObjectModel& objects;
  SubjectRegistry& subjects;
  std::function<void(Boss&)> addEditBoxHandler;
};

enum class WidgetKind {
  kPanel,
  kCluster,
  kPanelList,
  kEditBox,
  kStaticText,
  kDropDown,
  kCheckBox,
  kRadio,
  kButton,
};

// "panel", "cluster", "panellist", "editbox", "text", "dropdown",
// "checkbox", "radio", "button".
const char* WidgetKindName(WidgetKind kind);
bool ParseWidgetKind(const std::string& name, WidgetKind* kind);
// True for the kinds that hold child widgets.
bool IsContainerKind(WidgetKind kind);

// One widget as a view resource describes it. Texts marked "key" are string
// keys, translated when the widget is built.
struct WidgetSpec {
  WidgetKind kind = WidgetKind::kPanel;
  WidgetID id = kInvalidWidgetID;
  std::string name;                  // symbolic name scripts may use; may be empty
  std::string caption;               // key
  std::string text;                  // initial text; a key for static texts
  std::vector<std::string> entries;  // drop-down entries (keys)
  int32 selected = -1;               // drop-down: initial position, -1 none
  ITriStateControlData::TriState state = ITriStateControlData::kUnselected;
  std::string bossClass;  // empty: the host's class for the kind
  bool enabled = true;
  bool visible = true;
  bool password = false;  // edit box whose text listings hide
  std::vector<WidgetSpec> children;
};

class WidgetNode {
 public:
  WidgetNode(Boss* boss, const WidgetSpec& spec, WidgetNode* parent,
             const WidgetToolkit* toolkit);
  WidgetNode(const WidgetNode&) = delete;
  WidgetNode& operator=(const WidgetNode&) = delete;
  ~WidgetNode();

  // The node of the widget boss behind `object` (any implementation or the
  // boss), or null when it is no widget of this toolkit.
  static WidgetNode* Of(const IPMUnknown* object);

  Boss& GetBoss() const { return *boss_; }
  WidgetKind Kind() const { return kind_; }
  WidgetID Id() const { return id_; }
  const std::string& Name() const { return name_; }
  const PMString& Caption() const { return caption_; }
  bool IsPassword() const { return password_; }
  WidgetNode* Parent() const { return parent_; }
  const WidgetToolkit& Toolkit() const { return *toolkit_; }
  WidgetNode* Root();
  // The identifier in hexadecimal ("0x1a2b"), or the name, for messages.
  std::string Label() const;

  // Own state and the state that counts for the user: enabled (visible)
  // only when the widget and every enclosing panel are.
  bool enabled = true;
  bool visible = true;
  bool IsOperable() const;

  // Text data (edit boxes, static texts) and the edit box's caret (in
  // UTF-16 units, always on a character boundary).
  PMString text;
  int32 caret = 0;
  // Edit boxes: the text when the box got the focus (Escape restores it)
  // and at the last commit (a commit notifies only when the text differs).
  PMString focusText;
  PMString committedText;

  // Drop-down entries and selection (-1 = none).
  std::vector<PMString> entries;
  int32 selected = -1;
  // Check boxes and radio buttons.
  ITriStateControlData::TriState state = ITriStateControlData::kUnselected;

  // Children (containers), in order.
  const std::vector<std::unique_ptr<Boss>>& ChildBosses() const { return children_; }
  std::vector<WidgetNode*> Children() const;
  // Appends a child widget built from `spec`; returns its node.
  WidgetNode* AddChild(const WidgetSpec& spec);
  // Appends an already built child (a panel made elsewhere); takes it over.
  WidgetNode* AdoptChild(std::unique_ptr<Boss> child);

  // First descendant with `id`, depth first; `depth` as IPanelControlData.
  WidgetNode* Find(WidgetID id, int32 depth);
  // First descendant (any depth) with symbolic name `name`.
  WidgetNode* FindByName(const std::string& name);
  // Visits this node and every descendant, parents before children.
  void ForEach(const std::function<void(WidgetNode&)>& visit);

  // The root's keyboard focus (null when no widget has it).
  WidgetNode* focus = nullptr;

  // The widget's subject (never null for a built widget); no reference.
  ISubject* Subject() const;
  // Sends `change` under `protocol` to the widget's observers.
  void Notify(ClassID change, PMIID protocol);

 private:
  Boss* boss_;
  WidgetKind kind_;
  WidgetID id_;
  std::string name_;
  PMString caption_;
  bool password_;
  WidgetNode* parent_;
  const WidgetToolkit* toolkit_;
  std::vector<std::unique_ptr<Boss>> children_;
};

// Builds widget `spec` (and its children) as a new boss: the plug-ins'
// add-ins for its boss class, then the host's implementations.
std::unique_ptr<Boss> BuildWidget(const WidgetSpec& spec, WidgetNode* parent,
                                  const WidgetToolkit& toolkit);
// Gives the existing `boss` the host's implementations of widget `spec`
// (children included) and returns its node, owned by the boss.
WidgetNode* MakeWidget(Boss& boss, const WidgetSpec& spec, WidgetNode* parent,
                       const WidgetToolkit& toolkit);

// Calls AutoAttach (AutoDetach) on the observer of every widget boss of the
// tree under `root`, parents first (last).
void AttachTreeObservers(WidgetNode& root);
void DetachTreeObservers(WidgetNode& root);

}  // namespace standin

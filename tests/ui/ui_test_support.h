// Fixture of the user-interface tests: a fresh stand-in host with the
// plug-in's implementations linked in, its boss declarations, views and
// strings registered from the real resource files, and helpers to reach the
// field panel, the dialogs and the labels they write.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/CActionComponent.h"
#include "host/IControlView.h"
#include "host/ILayout.h"
#include "host/IPanelControlData.h"
#include "host/InterfacePtr.h"
#include "plugin_base/osl_id.h"
#include "standin/ui/dialog_script.h"
#include "tests/support/plugin_host.h"

namespace osltest {

// The layout's spread list and spreads over a stand-in document, for hosts
// that do not offer them on their documents: spreads in document order, the
// items of a page back to front, groups as one item.
class TestSpreadList : public CPMUnknown<ISpreadList> {
 public:
  TestSpreadList(IPMUnknown* boss, standin::Document* doc) : CPMUnknown(boss), doc_(doc) {}
  int32 GetSpreadCount() const override { return static_cast<int32>(doc_->Spreads().size()); }
  UID GetNthSpreadUID(int32 index) const override {
    return index >= 0 && index < GetSpreadCount() ? doc_->Spreads()[index]->uid : kInvalidUID;
  }

 private:
  standin::Document* doc_;
};

class TestSpread : public CPMUnknown<ISpread> {
 public:
  TestSpread(IPMUnknown* boss, standin::Spread* spread) : CPMUnknown(boss), spread_(spread) {}
  int32 GetNumPages() const override { return static_cast<int32>(spread_->pages.size()); }
  UID GetNthPageUID(int32 index) const override {
    return index >= 0 && index < GetNumPages() ? spread_->pages[index]->uid : kInvalidUID;
  }
  void GetItemsOnPage(int32 index, UIDList* items, bool16, bool16) const override {
    if (index < 0 || index >= GetNumPages()) return;
    for (const auto& item : spread_->pages[index]->items) items->Append(item->uid);
  }

 private:
  standin::Spread* spread_;
};

// Gives `doc` the layout fakes above unless the host offers the spread list.
inline void ProvideSpreadList(standin::Document* doc) {
  if (doc->DocumentBoss().Has(IID_ISPREADLIST)) return;
  doc->DocumentBoss().AddNew<TestSpreadList>(IID_ISPREADLIST, doc);
  for (const auto& spread : doc->Spreads()) {
    doc->FindBoss(spread->uid)->AddNew<TestSpread>(IID_ISPREAD, spread.get());
  }
}

// The parsed `steps`.
inline standin::DialogScript Script(const std::string& steps) {
  standin::DialogScript script;
  std::string error;
  EXPECT_TRUE(standin::ParseDialogScript(steps, &script, &error)) << error;
  return script;
}

class UiTest : public PluginHostTest {
 protected:
  UiTest() {
    std::ifstream views(std::string(OSL_SOURCE_DIR) + "/plugin/resources/views.json");
    std::string error;
    EXPECT_TRUE(host_.Views().Register(kOslPluginID, nlohmann::json::parse(views), &error))
        << error;
    const nlohmann::json strings = PluginResources().at("strings");
    for (auto it = strings.begin(); it != strings.end(); ++it) {
      host_.Strings().Add(it.key(), it.value().get<std::string>());
    }
  }

  // The field panel, shown (its observer attached).
  standin::WidgetNode* ShowFieldPanel() {
    std::string error;
    EXPECT_TRUE(host_.Panels().Show(kOslPluginID, kOslFieldPanelRsrcID, &error)) << error;
    return host_.Panels().GetPanel(kOslPluginID, kOslFieldPanelRsrcID, &error);
  }

  // The label of page item `uid` (the document's own label for uid 1).
  static std::string LabelOf(standin::Document* doc, UID uid) {
    if (uid == standin::Document::kDocumentUID) return doc->Label().GetUTF8String();
    return doc->FindItem(uid)->label.GetUTF8String();
  }
  static void SetLabel(standin::Document* doc, UID uid, const char* label) {
    if (uid == standin::Document::kDocumentUID) {
      doc->SetLabel(WideString(label));
    } else {
      doc->SetItemLabel(doc->FindItem(uid), WideString(label));
    }
  }

  // The plug-in's action component.
  InterfacePtr<IActionComponent> Actions() {
    return InterfacePtr<IActionComponent>(&host_.GetSession().PlugInBoss("kOslActionComponentBoss"),
                                          IID_IACTIONCOMPONENT);
  }

  // Runs action `action` as the host's menu does (then lets the modal
  // dialogs it left open run), with `steps` queued for dialog `key`.
  void RunAction(ActionID action, const std::string& key, const std::string& steps) {
    RunAction(action, key, Script(steps));
  }
  void RunAction(ActionID action, const std::string& key, standin::DialogScript script) {
    host_.Dialogs().QueueScript(key, std::move(script));
    auto component = Actions();
    ASSERT_TRUE(component);
    component->DoAction(host_.Dialogs().SessionContext(), action, PMPoint(), nullptr);
    host_.Dialogs().RunOpenDialogs();
    EXPECT_EQ(0u, host_.Dialogs().QueuedScripts()) << "the action opened no dialog " << key;
    host_.Dialogs().ClearScripts();
  }
};

// The node of widget `id` under `root` (any depth), or null.
inline standin::WidgetNode* Node(standin::WidgetNode* root, WidgetID id) {
  return root ? root->Find(id, 9999) : nullptr;
}

// The texts of a drop-down's entries.
inline std::vector<std::string> Entries(standin::WidgetNode* list) {
  std::vector<std::string> texts;
  for (const PMString& entry : list->entries) texts.push_back(entry.GetUTF8String());
  return texts;
}

}  // namespace osltest

// `osl publish --dry-run` against a freshly started osl-service: after a
// document is published and edited, the changes the dry run prints are the
// ones a real publish then makes (read back with `osl-service show`), and
// the dry run itself leaves the service's data folder and the document
// byte for byte as they were. Also several documents in one publish and
// the JSON output of publish and items.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/documents.h"
#include "tests/e2e/e2e_support.h"

namespace osltest {
namespace {

using nlohmann::json;

json Parse(const RunResult& run) { return ParseJsonOutput(run); }

// Every file under `dir` with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  std::vector<std::string> pending{dir};
  while (!pending.empty()) {
    const std::string folder = pending.back();
    pending.pop_back();
    DIR* d = opendir(folder.c_str());
    if (!d) continue;
    while (dirent* entry = readdir(d)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "/" + name;
      struct stat info;
      if (lstat(path.c_str(), &info) != 0) continue;
      if (S_ISDIR(info.st_mode)) {
        pending.push_back(path);
      } else {
        files[path] = ReadFile(path);
      }
    }
    closedir(d);
  }
  return files;
}

// What `osl-service show` prints about a template: its fields (the
// members show prints, under the dry run's member names), groups and
// assets.
struct Shown {
  std::map<std::string, std::map<std::string, std::string>> fields;
  std::map<std::string, std::string> groups;  // name -> direction
  std::map<std::string, std::string> assets;  // name -> size (the last of a name)
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::stringstream in(line);
  std::string part;
  while (std::getline(in, part, '\t')) parts.push_back(part);
  return parts;
}

Shown ParseShow(const std::string& text) {
  Shown shown;
  std::stringstream in(text);
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.rfind("  ", 0) != 0) {
      section = line.substr(0, line.find(':'));
      continue;
    }
    const std::vector<std::string> parts = SplitTabs(line.substr(2));
    if (section == "logic groups" && parts.size() >= 3) shown.groups[parts[1]] = parts[2];
    if (section == "fields" && !parts.empty()) {
      auto& members = shown.fields[parts[0]];
      for (size_t i = 1; i < parts.size(); ++i) {
        const size_t eq = parts[i].find('=');
        if (eq == std::string::npos) continue;
        std::string key = parts[i].substr(0, eq), value = parts[i].substr(eq + 1);
        if (key == "page") key = "pageNumber";
        if (key == "group") {
          // "ID (NAME)": the dry run names groups, not identifiers.
          key = "logicGroup";
          const size_t open = value.find(" (");
          if (open != std::string::npos) value = value.substr(open + 2, value.size() - open - 3);
        }
        members[key] = value;
      }
    }
    if (section == "assets" && !parts.empty()) {
      for (const std::string& part : parts) {
        if (part.rfind("size=", 0) == 0) shown.assets[parts[0]] = part.substr(5);
      }
    }
  }
  return shown;
}

class DryRun : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& serviceArgs = {}) {
    std::string error;
    ASSERT_TRUE(world_.Start(serviceArgs, &error)) << error;
    query_ = std::make_unique<ServiceQuery>(world_.service().baseUrl());
  }
  RunResult Show(const std::string& id) {
    return RunProcess({BuiltProgram("osl-service"), "show", "--data", world_.dataDir(), id});
  }

  PublishWorld world_;
  std::unique_ptr<ServiceQuery> query_;
};

json* ItemWithUid(json& document, unsigned uid) {
  for (json& spread : document["spreads"]) {
    for (json& page : spread["pages"]) {
      for (json& item : page["items"]) {
        if (item["uid"] == uid) return &item;
      }
    }
  }
  return nullptr;
}

TEST_F(DryRun, PrintsTheChangesARealPublishThenMakesAndChangesNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.CopyExample("business-card.tlvd");
  RunResult run = world_.Osl({"--yes", "publish", doc});
  ASSERT_EQ(0, run.status) << run.err;
  const std::string id = DocumentData(doc).at("docID");

  // The designer edits the published card: a field moves, one changes its
  // control type, one loses its tag, a new one appears in a new group.
  json edited = ReadDocument(doc);
  json* fullName = ItemWithUid(edited, 11);
  json* jobTitle = ItemWithUid(edited, 12);
  json* email = ItemWithUid(edited, 15);
  json* plain = ItemWithUid(edited, 16);
  ASSERT_TRUE(fullName && jobTitle && email && plain);
  (*fullName)["matrix"][4] = (*fullName)["matrix"][4].get<double>() + 10;
  (*jobTitle)["label"] = "controlType:::1|||fieldName:::JobTitle|||promptText:::Job title|||";
  email->erase("label");
  (*plain)["label"] = "MemberofGroup:::Extra|||controlType:::0|||fieldName:::Tagline|||";
  std::string label = edited["label"];
  label.replace(label.find("StackingGroups:::"), std::string("StackingGroups:::").size(),
                "StackingGroups:::Extra:::0---");
  edited["label"] = label;
  {
    std::ofstream out(doc, std::ios::trunc);
    out << edited.dump(1);
  }

  const RunResult before = Show(id);
  ASSERT_EQ(0, before.status) << before.err;
  const auto data = Snapshot(world_.dataDir());
  const std::string documentBytes = ReadFile(doc);

  run = world_.Osl({"publish", doc, "--dry-run", "--json"});
  ASSERT_EQ(0, run.status) << run.err << run.out;
  const json report = Parse(run);
  EXPECT_EQ(1, report["schema"]);
  EXPECT_EQ(true, report["dryRun"]);
  ASSERT_EQ(1u, report["documents"].size());
  const json& dry = report["documents"][0]["dryRun"];

  // Nothing at the service and nothing in the document changed.
  EXPECT_TRUE(data == Snapshot(world_.dataDir())) << "the data folder changed";
  EXPECT_EQ(documentBytes, ReadFile(doc));
  EXPECT_EQ("update", dry["template"]["action"]);
  EXPECT_EQ(id, dry["template"]["id"]);
  // The text form says the same.
  const RunResult text = world_.Osl({"publish", doc, "--dry-run"});
  EXPECT_EQ(0, text.status) << text.err;
  EXPECT_NE(std::string::npos, text.out.find("field added: \"Tagline\"")) << text.out;
  EXPECT_NE(std::string::npos, text.out.find("field deleted: \"Email\"")) << text.out;
  EXPECT_NE(std::string::npos, text.out.find("stacking group added: \"Extra\"")) << text.out;
  EXPECT_NE(std::string::npos, text.out.find("asset BusinessCard.pdf (masterPDF): ")) << text.out;

  run = world_.Osl({"--yes", "publish", doc});
  ASSERT_EQ(0, run.status) << run.err;
  const RunResult after = Show(id);
  ASSERT_EQ(0, after.status) << after.err;
  const Shown old = ParseShow(before.out), now = ParseShow(after.out);

  // Fields: what the dry run said against what show tells.
  std::set<std::string> added, deleted, changed;
  std::map<std::string, std::map<std::string, std::pair<std::string, std::string>>> members;
  for (const json& field : dry["fields"]) {
    const std::string name = field["name"];
    if (field["change"] == "add") added.insert(name);
    if (field["change"] == "delete") deleted.insert(name);
    if (field["change"] != "change") continue;
    for (const json& member : field["members"]) {
      const std::string key = member["member"];
      if (now.fields.count(name) && now.fields.at(name).count(key))
        members[name][key] = {member["old"], member["new"]};
    }
    if (!members[name].empty()) changed.insert(name);
  }
  std::set<std::string> shownAdded, shownDeleted, shownChanged;
  for (const auto& [name, values] : now.fields) {
    if (!old.fields.count(name)) {
      shownAdded.insert(name);
      continue;
    }
    for (const auto& [key, value] : values) {
      const std::string was = old.fields.at(name).at(key);
      if (was == value) continue;
      shownChanged.insert(name);
      SCOPED_TRACE(name + " " + key);
      ASSERT_TRUE(members[name].count(key)) << "the dry run did not mention it";
      EXPECT_EQ(was, members[name][key].first);
      EXPECT_EQ(value, members[name][key].second);
    }
  }
  for (const auto& [name, values] : old.fields) {
    if (!now.fields.count(name)) shownDeleted.insert(name);
  }
  EXPECT_EQ(shownAdded, added);
  EXPECT_EQ(shownDeleted, deleted);
  EXPECT_EQ(shownChanged, changed);
  EXPECT_EQ((std::set<std::string>{"Tagline"}), added);
  EXPECT_EQ((std::set<std::string>{"Email"}), deleted);
  EXPECT_TRUE(changed.count("FullName") && changed.count("JobTitle"));

  // Groups added; assets with the sizes the service then stored.
  std::set<std::string> groupsAdded;
  for (const json& group : dry["groups"]) {
    if (group["change"] == "add") groupsAdded.insert(group["name"].get<std::string>());
  }
  std::set<std::string> shownGroupsAdded;
  for (const auto& [name, direction] : now.groups) {
    if (!old.groups.count(name)) shownGroupsAdded.insert(name);
  }
  EXPECT_EQ(shownGroupsAdded, groupsAdded);
  // The service keeps a template's assets by name: the publish replaces
  // those of the names it sends and adds the others.
  std::set<std::string> expectedAssets;
  for (const auto& [name, size] : old.assets) expectedAssets.insert(name);
  for (const json& asset : dry["assets"]) {
    const std::string name = asset["name"];
    expectedAssets.insert(name);
    ASSERT_TRUE(now.assets.count(name)) << name;
    if (asset["type"] == "graphicFile" || asset["type"] == "fontfile") {
      EXPECT_EQ(std::to_string(asset["size"].get<long long>()), now.assets.at(name)) << name;
    }
  }
  std::set<std::string> shownAssets;
  for (const auto& [name, size] : now.assets) shownAssets.insert(name);
  EXPECT_EQ(expectedAssets, shownAssets);
  // The copy, the proof, the new field's font, and every font and image the kept fields name
  // (the logo and three fonts): a republish leaves the template holding all of them.
  EXPECT_EQ(7u, dry["assets"].size()) << dry["assets"].dump(2);
}

// After a publish, each edit's report: a document with no field left deletes every field; a
// stacking group whose direction changed is "change", one left alone is "keep" and never
// reported as changed.
TEST_F(DryRun, EveryDeletionAndEveryGroupDirectionChangeIsReported) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.CopyExample("business-card.tlvd");
  ASSERT_EQ(0, world_.Osl({"--yes", "publish", doc}).status);
  const json published = ReadDocument(doc);
  struct Case {
    const char* what;
    std::function<void(json*)> edit;
    std::set<std::string> deleted;
    std::string groupChange;
  };
  const std::vector<Case> cases = {
      {"nothing edited", [](json*) {}, {}, "keep"},
      {"every tag removed",
       [](json* document) {
         for (json& item : (*document)["spreads"][0]["pages"][0]["items"]) item.erase("label");
       },
       {"Email", "FullName", "JobTitle", "Logo", "Phone"},
       "keep"},
      {"the group turned round",
       [](json* document) {
         std::string label = (*document)["label"];
         label.replace(label.find("Contact:::1"), 11, "Contact:::0");
         (*document)["label"] = label;
       },
       {},
       "change"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    json edited = published;
    test.edit(&edited);
    world_.WriteDocument("business-card.tlvd", edited);
    const RunResult run = world_.Osl({"publish", doc, "--dry-run", "--json"});
    ASSERT_EQ(0, run.status) << run.err;
    const json report = Parse(run);
    const json& dry = report["documents"][0]["dryRun"];
    std::set<std::string> deleted;
    for (const json& field : dry["fields"]) {
      if (field["change"] == "delete") deleted.insert(field["name"].get<std::string>());
    }
    EXPECT_EQ(test.deleted, deleted);
    EXPECT_EQ(static_cast<int>(test.deleted.size()), dry["fieldCounts"]["deleted"]);
    ASSERT_EQ(1u, dry["groups"].size()) << dry.dump(1);
    EXPECT_EQ(test.groupChange, dry["groups"][0]["change"]);
    const RunResult text = world_.Osl({"publish", doc, "--dry-run"});
    EXPECT_EQ(test.groupChange == "change" ? 1 : 0,
              CountLines(text.out, "stacking group changed: \"Contact\""))
        << text.out;
  }
}

TEST_F(DryRun, ANewTemplateIsCreatedWithEveryFieldAdded) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.CopyExample("flyer.tlvd");
  const std::string bytes = ReadFile(doc);
  const auto data = Snapshot(world_.dataDir());
  const RunResult run = world_.Osl({"publish", doc, "--dry-run", "--json"});
  ASSERT_EQ(0, run.status) << run.err;
  const json dry = Parse(run)["documents"][0]["dryRun"];
  EXPECT_EQ("create", dry["template"]["action"]);
  EXPECT_EQ(6, dry["fieldCounts"]["added"]);
  EXPECT_EQ(0, dry["fieldCounts"]["deleted"]);
  // A new template uploads the placed image with its size.
  bool image = false;
  for (const json& asset : dry["assets"]) {
    if (asset["name"] == "storefront.png") {
      image = true;
      EXPECT_EQ("graphicFile", asset["type"]);
      EXPECT_GT(asset["size"].get<long long>(), 0);
    }
  }
  EXPECT_TRUE(image) << dry["assets"].dump(2);
  EXPECT_EQ(bytes, ReadFile(doc));
  EXPECT_TRUE(data == Snapshot(world_.dataDir()));
  EXPECT_TRUE(query_->Templates().empty());
}

TEST_F(DryRun, ManyDocumentsArePublishedInTurnWithASummary) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string card = world_.CopyExample("business-card.tlvd");
  const std::string flyer = world_.CopyExample("flyer.tlvd");
  const std::string missing = world_.dataDir() + "/missing.tlvd";
  // Without --keep-going the run stops at the first failure.
  RunResult run = world_.Osl({"--yes", "publish", card, missing, flyer});
  EXPECT_EQ(1, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find(card + ": published")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find(missing + ": FAILED")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("1 of 3 documents published, 1 failed, 1 not tried"))
      << run.out;
  EXPECT_EQ(nullptr, query_->Template("Spring Sale Flyer"));

  run = world_.Osl({"--yes", "publish", card, missing, flyer, "--keep-going", "--json"});
  EXPECT_EQ(1, run.status) << run.err;
  const json report = Parse(run);
  ASSERT_EQ(3u, report["documents"].size());
  EXPECT_EQ("ok", report["documents"][0]["status"]);
  EXPECT_EQ("0x199e00kupdateTemplateOKKey", report["documents"][0]["result"]);
  EXPECT_EQ("failed", report["documents"][1]["status"]);
  EXPECT_EQ("ok", report["documents"][2]["status"]);
  EXPECT_EQ("0x199e00ksaveTemplateOKKey", report["documents"][2]["result"]);
  EXPECT_EQ(2, report["succeeded"]);
  EXPECT_EQ(1, report["failed"]);
  EXPECT_NE(nullptr, query_->Template("Spring Sale Flyer"));
  // Each document kept its own template data.
  EXPECT_EQ("Business Card", DocumentData(card).at("docName"));
  EXPECT_EQ("Spring Sale Flyer", DocumentData(flyer).at("docName"));

  // --name names one template only.
  run = world_.Osl({"--yes", "publish", card, flyer, "--name", "X"});
  EXPECT_EQ(2, run.status);
}

TEST_F(DryRun, ItemsAndPublishSpeakJson) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string card = world_.CopyExample("business-card.tlvd");
  RunResult run = world_.Osl({"items", card, "--json"});
  ASSERT_EQ(0, run.status) << run.err;
  json items = Parse(run);
  EXPECT_EQ(1, items["schema"]);
  EXPECT_EQ("items", items["command"]);
  const json& first = items["spreads"][0]["pages"][0]["items"][0];
  EXPECT_EQ(10, first["uid"]);
  EXPECT_EQ(4u, first["bounds"].size());
  EXPECT_NE(std::string::npos, first["label"].get<std::string>().find("fieldName:::Logo"));

  run = world_.Osl({"--yes", "publish", card, "--json"});
  ASSERT_EQ(0, run.status) << run.err;
  const json report = Parse(run);
  EXPECT_EQ("publish", report["command"]);
  EXPECT_EQ(false, report["dryRun"]);
  EXPECT_EQ("ok", report["documents"][0]["status"]);
  EXPECT_EQ("0x199e00ksaveTemplateOKKey", report["documents"][0]["result"]);
  // Alerts stay on stderr (and are repeated in the JSON).
  EXPECT_EQ(1, CountLines(run.err, "[info] 0x199e00ksaveTemplateOKKey"));
  EXPECT_FALSE(report["documents"][0]["alerts"].empty());
}

}  // namespace
}  // namespace osltest

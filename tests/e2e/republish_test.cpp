// Republishing against a freshly started osl-service never damages a template: a renamed
// document replaces another template only when the designer says yes; a publish that stopped
// midway (a fault, Ctrl-C) is completed by the next one with every asset a clean publish
// leaves, and the template is free again soon after Ctrl-C; the edits a republish keeps back
// are named by the dry run and the publish; the publish asks and sends what the dry run plans; a
// refused identifier leaves the document's template name alone; and a batch names every
// document with its reason, also when a question ends it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_support.h"

namespace osltest {
namespace {

using nlohmann::json;

json Parse(const RunResult& run) { return ParseJsonOutput(run); }

// `document` with the template data entry `key` set to `value` (kept in place, or appended).
void SetDocumentEntry(const std::string& path, const std::string& key, const std::string& value) {
  json document = ReadDocument(path);
  std::string label = document.value("label", std::string());
  const std::string head = key + ":::";
  const size_t at = label.find(head);
  if (at == std::string::npos) {
    label += head + value + "|||";
  } else {
    const size_t end = label.find("|||", at);
    label.replace(at, end - at, head + value);
  }
  document["label"] = label;
  std::ofstream(path, std::ios::trunc) << document.dump(1);
}

json* ItemWithUid(json& document, unsigned uid) {
  for (json& item : document["spreads"][0]["pages"][0]["items"]) {
    if (item["uid"] == uid) return &item;
  }
  return nullptr;
}

// The fonts and images a template holds, as "TYPE NAME", and how many document copies and
// proofs it holds.
struct AssetSummary {
  std::multiset<std::string> files;
  int documents = 0;
  int proofs = 0;
  bool operator==(const AssetSummary& other) const {
    return files == other.files && documents == other.documents && proofs == other.proofs;
  }
};

AssetSummary Summarize(const std::vector<StoredAsset>& assets) {
  AssetSummary summary;
  for (const StoredAsset& asset : assets) {
    if (asset.type == 4) {
      ++summary.documents;
    } else if (asset.type == 0) {
      ++summary.proofs;
    } else {
      summary.files.insert(std::to_string(asset.type) + " " + asset.name);
    }
  }
  return summary;
}

std::string Describe(const AssetSummary& summary) {
  std::string text =
      std::to_string(summary.documents) + " copies, " + std::to_string(summary.proofs) + " proofs:";
  for (const std::string& file : summary.files) text += " [" + file + "]";
  return text;
}

class Republish : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& serviceArgs = {}) {
    std::string error;
    ASSERT_TRUE(world_.Start(serviceArgs, &error)) << error;
    query_ = std::make_unique<ServiceQuery>(world_.service().baseUrl());
  }

  // The assets of a clean first publish of the business card, under another name.
  AssetSummary CleanCardAssets() {
    const std::string doc =
        world_.WriteDocument("clean.tlvd", ReadDocument(world_.CopyExample("business-card.tlvd")));
    const RunResult run = world_.Osl({"--yes", "publish", doc, "--name", "Clean Card"});
    EXPECT_EQ(0, run.status) << run.err;
    return Summarize(StoredAssets(world_.dataDir(), DocumentData(doc).at("docID")));
  }

  PublishWorld world_;
  std::unique_ptr<ServiceQuery> query_;
};

// A document bound to one template and renamed after another: the publish asks before it
// replaces the other; "No" and no answer change neither template nor the document.
TEST_F(Republish, ARenamedDocumentReplacesAnotherTemplateOnlyWhenTheAnswerIsYes) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string card = world_.CopyExample("business-card.tlvd");
  const std::string other = world_.WriteDocument("other.tlvd", ReadDocument(card));
  SetDocumentEntry(other, "docName", "Other Card");
  ASSERT_EQ(0, world_.Osl({"--yes", "publish", card}).status);
  ASSERT_EQ(0, world_.Osl({"--yes", "publish", other}).status);
  const std::string cardID = DocumentData(card).at("docID");
  const std::string otherID = DocumentData(other).at("docID");
  const size_t otherFields = query_->Fields(otherID, DocumentData(other).at("docPassword")).size();

  SetDocumentEntry(card, "docName", "Other Card");
  const std::string renamed = ReadFile(card);
  const RunResult dry = world_.Osl({"publish", card, "--dry-run", "--json"});
  ASSERT_EQ(0, dry.status) << dry.err;
  const json plan = Parse(dry)["documents"][0]["dryRun"]["template"];
  EXPECT_EQ(otherID, plan["id"]);
  EXPECT_EQ(true, plan["asks"]);

  const std::string question = "[ask] Other Card0x199e00koverrideTemplateKey";
  struct Case {
    std::vector<std::string> answer;
    int status;
  };
  for (const Case& c : {Case{{"--no"}, 0}, Case{{}, 2}}) {
    std::vector<std::string> args = c.answer;
    args.insert(args.end(), {"publish", card});
    const RunResult run = world_.Osl(args);
    SCOPED_TRACE(c.answer.empty() ? "no answer" : c.answer.front());
    EXPECT_EQ(c.status, run.status) << run.err;
    EXPECT_EQ(1, CountLines(run.err, question)) << run.err;
    EXPECT_EQ(0, CountLines(run.err, "TemplateOKKey")) << run.err;
    EXPECT_EQ(renamed, ReadFile(card));
    EXPECT_EQ(1, CommitCount(world_.dataDir(), cardID));
    EXPECT_EQ(1, CommitCount(world_.dataDir(), otherID));
    EXPECT_EQ(otherFields, query_->Fields(otherID, DocumentData(other).at("docPassword")).size());
    EXPECT_EQ(2u, query_->Templates().size());
  }

  const RunResult yes = world_.Osl({"--yes", "publish", card});
  EXPECT_EQ(0, yes.status) << yes.err;
  EXPECT_EQ(1, CountLines(yes.err, question)) << yes.err;
  EXPECT_EQ(1, CountLines(yes.err, "[info] 0x199e00kupdateTemplateOKKey")) << yes.err;
  EXPECT_EQ(otherID, DocumentData(card).at("docID"));
  EXPECT_EQ(2, CommitCount(world_.dataDir(), otherID));
  EXPECT_EQ(1, CommitCount(world_.dataDir(), cardID));
}

// The dry run and the publish carry out one plan: for each case the publish asks exactly the
// questions the dry run lists, in its order, and leaves the service holding exactly the
// fields the dry run said it would add and keep, without the ones it said it would delete,
// and exactly the files the dry run said it would upload.
TEST_F(Republish, ThePublishDoesWhatTheDryRunPlanned) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string card = world_.CopyExample("business-card.tlvd");
  const auto setLabel = [&card](unsigned uid, const std::string& label) {
    json document = ReadDocument(card);
    (*ItemWithUid(document, uid))["label"] = label;
    std::ofstream(card, std::ios::trunc) << document.dump(1);
  };
  const auto unbind = [&card] {
    SetDocumentEntry(card, "docID", "");
    SetDocumentEntry(card, "docPassword", "");
  };
  struct Case {
    std::string what;
    std::function<void()> prepare;
    std::vector<std::string> questions;
    std::set<std::string> added, deleted;
  };
  const std::vector<Case> cases = {
      {"a new template", [] {}, {}, {"Logo", "FullName", "JobTitle", "Phone", "Email"}, {}},
      {"the document's own template", [] {}, {}, {}, {}},
      {"a field renamed",
       [&] { setLabel(12, "controlType:::0|||fieldName:::Role|||promptText:::Job title|||"); },
       {},
       {"Role"},
       {"JobTitle"}},
      {"a namesake never published", unbind, {"replace-template"}, {}, {}},
      {"repeated field names",
       [&] { setLabel(16, "controlType:::0|||fieldName:::Email|||"); },
       {"repeated-field-names"},
       {"Email"},
       {}},
      {"repeated names and a namesake",
       unbind,
       {"repeated-field-names", "replace-template"},
       {},
       {}},
  };
  const std::map<std::string, std::string> questionKeys = {
      {"0x199e00kduplicatesbeginKey", "repeated-field-names"},
      {"0x199e00koverrideTemplateKey", "replace-template"}};
  const std::map<std::string, int> assetTypes = {{"masterPDF", 0},      {"fontfile", 1},
                                                 {"graphicFile", 2},    {"imagePickerFile", 3},
                                                 {"tolvanDocument", 4}, {"backgroundFile", 5}};
  std::multiset<std::string> stored;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.prepare();
    const RunResult dry = world_.Osl({"publish", card, "--dry-run", "--json"});
    ASSERT_EQ(0, dry.status) << dry.err;
    const json plan = Parse(dry)["documents"][0]["dryRun"];
    EXPECT_EQ(json(c.questions), plan["questions"]) << dry.out;
    EXPECT_EQ(!c.questions.empty(), plan["template"]["asks"]) << dry.out;
    std::multiset<std::string> added, deleted;
    for (const json& field : plan["fields"]) {
      if (field["change"] == "add") added.insert(field["name"].get<std::string>());
      if (field["change"] == "delete") deleted.insert(field["name"].get<std::string>());
    }
    EXPECT_EQ(std::multiset<std::string>(c.added.begin(), c.added.end()), added) << dry.out;
    EXPECT_EQ(std::multiset<std::string>(c.deleted.begin(), c.deleted.end()), deleted) << dry.out;

    const RunResult run = world_.Osl({"--yes", "publish", card});
    EXPECT_EQ(0, run.status) << run.err;
    std::vector<std::string> asked;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("[ask]", 0) != 0) continue;
      std::string kind = line;
      for (const auto& key : questionKeys) {
        if (line.find(key.first) != std::string::npos) kind = key.second;
      }
      asked.push_back(kind);
    }
    EXPECT_EQ(c.questions, asked) << run.err;

    for (const std::string& name : deleted) {
      const auto held = stored.find(name);
      if (held != stored.end()) stored.erase(held);
    }
    stored.insert(added.begin(), added.end());
    std::multiset<std::string> now;
    const std::map<std::string, std::string> data = DocumentData(card);
    for (const auto* field : query_->Fields(data.at("docID"), data.at("docPassword"))) {
      now.insert(field->fieldName ? *field->fieldName : std::string());
    }
    EXPECT_EQ(stored, now) << dry.out;

    AssetSummary planned;
    for (const json& asset : plan["assets"]) {
      const int type = assetTypes.at(asset["type"].get<std::string>());
      if (type == 4) {
        ++planned.documents;
      } else if (type == 0) {
        ++planned.proofs;
      } else {
        planned.files.insert(std::to_string(type) + " " + asset["name"].get<std::string>());
      }
    }
    const AssetSummary held = Summarize(StoredAssets(world_.dataDir(), data.at("docID")));
    EXPECT_EQ(Describe(planned), Describe(held));
  }
}

// A first publish that stopped after its fields were stored leaves the next publish to send
// every font and image: the template then holds what a clean publish leaves.
TEST_F(Republish, ARetryAfterAStopHoldsTheAssetsOfACleanPublish) {
  for (const std::string fault : {"setAssets:soap-fault:1", "commitTemplate:soap-fault:1"}) {
    SCOPED_TRACE(fault);
    PublishWorld world;
    std::string error;
    ASSERT_TRUE(world.Start({"--fault", fault}, &error)) << error;
    const std::string card = world.CopyExample("business-card.tlvd");
    EXPECT_EQ(1, world.Osl({"--yes", "publish", card}).status);
    const RunResult retry = world.Osl({"--yes", "publish", card});
    ASSERT_EQ(0, retry.status) << retry.err;
    const AssetSummary retried =
        Summarize(StoredAssets(world.dataDir(), DocumentData(card).at("docID")));

    const std::string clean =
        world.WriteDocument("clean.tlvd", ReadDocument(world.CopyExample("business-card.tlvd")));
    ASSERT_EQ(0, world.Osl({"--yes", "publish", clean, "--name", "Clean Card"}).status);
    const AssetSummary expected =
        Summarize(StoredAssets(world.dataDir(), DocumentData(clean).at("docID")));
    EXPECT_EQ(6u, expected.files.size() + 2) << Describe(expected);
    EXPECT_TRUE(expected == retried) << Describe(expected) << "\n" << Describe(retried);
  }
}

// Ctrl-C in the middle of a publish: a retry at once is refused in one plain line that says
// when to retry; a retry then goes through (within the 30 s the service holds a stopped run's
// template) and completes the template with every asset.
TEST_F(Republish, ARetryAfterCtrlCGoesThroughWithinThirtySeconds) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setFields:delay:1", "--delay-ms", "4000"}));
  const std::string card = world_.CopyExample("business-card.tlvd");
  TempDir temp;
  ChildProcess publish;
  std::string error;
  ASSERT_TRUE(publish.Start(
      {BuiltProgram("osl"), "--plugin", world_.pluginDir() + "/Osl.pln", "--yes", "publish", card},
      {{"OSL_LOCALE=keys", "TMPDIR=" + temp.path()}, "", 60000, ""}, &error))
      << error;
  // The fields are stored once the service has handled setFields; its answer is held back.
  const auto waitUntil = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool stored = false;
  while (!stored && std::chrono::steady_clock::now() < waitUntil) {
    const auto* made = query_->Template("Business Card");
    stored = made && !query_->Fields(made->docID, made->docPassword).empty();
    if (!stored) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(stored) << publish.Stderr();
  publish.Signal(SIGINT);
  EXPECT_EQ(130, publish.Wait(10000));
  const auto stopped = std::chrono::steady_clock::now();

  const RunResult refused = world_.Osl({"--yes", "publish", card});
  EXPECT_EQ(1, refused.status) << refused.err;
  EXPECT_EQ(0, CountLines(refused.err, "[error] error: ")) << refused.err;
  EXPECT_EQ(1, CountLines(refused.err, "[error]")) << refused.err;
  const size_t at = refused.err.find("free again in ");
  ASSERT_NE(std::string::npos, at) << refused.err;
  const int seconds = std::stoi(refused.err.substr(at + 14));
  EXPECT_LE(seconds, 30);

  RunResult retry;
  do {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    retry = world_.Osl({"--yes", "publish", card});
  } while (retry.status != 0 &&
           std::chrono::steady_clock::now() - stopped < std::chrono::seconds(33));
  ASSERT_EQ(0, retry.status) << retry.err;
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(33));
  const AssetSummary retried =
      Summarize(StoredAssets(world_.dataDir(), DocumentData(card).at("docID")));
  EXPECT_TRUE(CleanCardAssets() == retried) << Describe(retried);
}

// A live publish whose own work outlasts the service's time-out (here an upload held back
// past it) keeps its template: the plug-in renews the hold while it waits, so another publish
// of the template meanwhile is refused, and the slow one completes.
TEST_F(Republish, ASlowLivePublishKeepsItsTemplate) {
  ASSERT_NO_FATAL_FAILURE(
      Start({"--publish-timeout", "12", "--fault", "upload:delay:1", "--delay-ms", "16000"}));
  const std::string card = world_.CopyExample("business-card.tlvd");
  const std::string second = world_.WriteDocument("second.tlvd", ReadDocument(card));
  TempDir temp;
  ChildProcess slow;
  std::string error;
  ASSERT_TRUE(slow.Start(
      {BuiltProgram("osl"), "--plugin", world_.pluginDir() + "/Osl.pln", "--yes", "publish", card},
      {{"OSL_LOCALE=keys", "TMPDIR=" + temp.path()}, "", 60000, ""}, &error))
      << error;
  const auto waitUntil = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!query_->Template("Business Card") && std::chrono::steady_clock::now() < waitUntil) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(nullptr, query_->Template("Business Card")) << slow.Stderr();
  // Past the time-out of the hold setTemplate took, while the upload is still held back.
  std::this_thread::sleep_for(std::chrono::seconds(14));
  const RunResult other = world_.Osl({"--yes", "publish", second});
  EXPECT_EQ(1, other.status) << other.err;
  EXPECT_EQ(1, CountLines(other.err, "is being published by another run")) << other.err;
  EXPECT_EQ(0, slow.Wait(30000)) << slow.Stderr();
  EXPECT_EQ(1, CommitCount(world_.dataDir(), DocumentData(card).at("docID")));
}

// The settings a republish keeps (a text style at any time; Dependson without refresh) are
// named by the dry run, in text and JSON, and by the publish's warning.
TEST_F(Republish, KeptEditsAreNamedByTheDryRunAndThePublish) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string card = world_.CopyExample("business-card.tlvd");
  ASSERT_EQ(0, world_.Osl({"--yes", "publish", card}).status);
  {
    json document = ReadDocument(card);
    (*ItemWithUid(document, 11))["story"]["runs"][0]["size"] = 20;
    (*ItemWithUid(document, 15))["label"] =
        "Dependson:::JobTitle|||MemberofGroup:::Contact|||controlType:::0|||fieldName:::Email|||"
        "promptText:::E-mail address|||";
    std::ofstream(card, std::ios::trunc) << document.dump(1);
  }
  const RunResult dry = world_.Osl({"publish", card, "--dry-run", "--json"});
  ASSERT_EQ(0, dry.status) << dry.err;
  const json dryReport = Parse(dry);
  std::set<std::string> kept;
  for (const json& edit : dryReport["documents"][0]["dryRun"]["kept"]) {
    kept.insert(edit["field"].get<std::string>() + " " + edit["member"].get<std::string>() + " " +
                edit["service"].get<std::string>() + " " + edit["document"].get<std::string>() +
                " " + edit["send"].get<std::string>());
  }
  EXPECT_EQ((std::set<std::string>{"FullName fontSize 14 20 as-new",
                                   "Email logicDependsOn  JobTitle refresh"}),
            kept)
      << dry.out;
  const RunResult text = world_.Osl({"publish", card, "--dry-run"});
  EXPECT_EQ(1, CountLines(text.out, "field \"FullName\" keeps the service's values: fontSize"))
      << text.out;
  EXPECT_EQ(1, CountLines(text.out, "field \"Email\" keeps the service's values: logicDependsOn"))
      << text.out;

  const RunResult run = world_.Osl({"--yes", "publish", card, "--json"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(1, CountLines(run.err, "[warning] The service keeps values")) << run.err;
  EXPECT_EQ(1, CountLines(run.err, "field \"FullName\" keeps the service's values: fontSize"));
  const json runReport = Parse(run);
  std::string warnings;
  for (const json& alert : runReport["documents"][0]["alerts"]) {
    if (alert["kind"] == "warning") warnings += alert["text"].get<std::string>();
  }
  EXPECT_NE(std::string::npos, warnings.find("field \"Email\" keeps the service's values: "
                                             "logicDependsOn \"\" (the document has \"JobTitle\")"))
      << warnings;
  // With refresh, Dependson is sent; the text style is still kept.
  const RunResult refreshed = world_.Osl({"publish", card, "--dry-run", "--json", "--refresh"});
  const json refreshedReport = Parse(refreshed);
  std::set<std::string> fields;
  for (const json& edit : refreshedReport["documents"][0]["dryRun"]["kept"]) {
    fields.insert(edit["field"].get<std::string>() + " " + edit["member"].get<std::string>());
  }
  EXPECT_EQ((std::set<std::string>{"FullName fontSize"}), fields);
}

// A refused identifier (the zero GUID from setTemplate) stops the publish and leaves the
// document's template name and binding as they were.
TEST_F(Republish, ARefusedIdentifierKeepsTheDocumentsTemplateName) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setTemplate:zero-id:1"}));
  const std::string card = world_.CopyExample("business-card.tlvd");
  const std::string before = ReadFile(card);
  const RunResult run = world_.Osl({"--yes", "publish", card});
  EXPECT_EQ(1, run.status) << run.err;
  EXPECT_EQ(1, CountLines(run.err, "[error] 0x199e00kupdateTemplateFailedKey")) << run.err;
  EXPECT_EQ(before, ReadFile(card));
  EXPECT_EQ("Business Card", DocumentData(card).at("docName"));
}

// A batch with --json gives every document its entry and reason: published, unreadable,
// stopped at a question nobody answered, and not tried after it.
TEST_F(Republish, BatchJsonNamesEveryDocumentAndWhy) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string card = world_.CopyExample("business-card.tlvd");
  ASSERT_EQ(0, world_.Osl({"--yes", "publish", card}).status);
  const std::string broken = world_.WriteDocument("broken.tlvd", json::object());
  const std::string namesake = world_.WriteDocument("namesake.tlvd", ReadDocument(card));
  SetDocumentEntry(namesake, "docID", "");
  SetDocumentEntry(namesake, "docPassword", "");
  const std::string flyer = world_.CopyExample("flyer.tlvd");

  const RunResult run =
      world_.Osl({"publish", card, broken, namesake, flyer, "--keep-going", "--json"});
  EXPECT_EQ(2, run.status) << run.err;
  const json report = Parse(run);
  ASSERT_EQ(4u, report["documents"].size()) << run.out;
  const json& docs = report["documents"];
  EXPECT_EQ("ok", docs[0]["status"]);
  EXPECT_EQ("0x199e00kupdateTemplateOKKey", docs[0]["result"]);
  EXPECT_EQ("failed", docs[1]["status"]);
  EXPECT_NE("", docs[1]["reason"].get<std::string>()) << docs[1].dump();
  EXPECT_EQ("failed", docs[2]["status"]);
  EXPECT_NE(std::string::npos, docs[2]["reason"].get<std::string>().find("stopped at the question"))
      << docs[2].dump();
  EXPECT_EQ("skipped", docs[3]["status"]);
  EXPECT_NE("", docs[3]["reason"].get<std::string>());
  EXPECT_EQ(1, report["succeeded"]);
  EXPECT_EQ(2, report["failed"]);
  EXPECT_EQ(1, report["skipped"]);
  EXPECT_EQ(nullptr, query_->Template("Spring Sale Flyer"));

  // The text form lists every document too.
  const RunResult text = world_.Osl({"--yes", "publish", broken, card});
  EXPECT_EQ(1, text.status);
  EXPECT_NE(std::string::npos, text.out.find(broken + ": FAILED (")) << text.out;
  EXPECT_NE(std::string::npos, text.out.find(card + ": not tried")) << text.out;
}

}  // namespace
}  // namespace osltest

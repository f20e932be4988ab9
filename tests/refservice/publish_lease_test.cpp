// One publish of a template at a time, against a running osl-service with real concurrent
// clients: concurrent setTemplate calls of one template let one run through, a second run stops
// at its setTemplate and the first stays whole, a fault or the time-out frees the template, and
// concurrent first publishes of one name create one template.
#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "osl_soapH.h"
#include "tests/refservice/service_fixture.h"
#include "tests/refservice/soap_client.h"
#include "tests/support/subprocess.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

using namespace osl_soap;

constexpr char kBeingPublished[] =
    " is being published by another run; try again when that "
    "publish has ended";

// Lets threads start a step together (bounded: a thread waits at most 10 s).
class StartLine {
 public:
  explicit StartLine(int count) : waiting_(count) {}
  void ArriveAndWait() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (--waiting_ <= 0) changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(10), [this] { return waiting_ <= 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_;
};

// What one client's call came back with.
struct Outcome {
  int status = -1;
  std::string fault;
  std::string docID;
};

class PublishLeaseTest : public ServiceFixture {
 protected:
  // `count` clients call setTemplate at once, each with its own connection, client i with the
  // name nameOf(i); `code` null creates.
  std::vector<Outcome> ConcurrentSetTemplates(int count,
                                              const std::function<std::string(int)>& nameOf,
                                              const std::string* code,
                                              const std::string* password) {
    std::vector<Outcome> outcomes(static_cast<size_t>(count));
    StartLine line(count);
    ThreadGroup clients;
    for (int i = 0; i < count; ++i) {
      clients.Start([&, i] {
        SoapClient client(service_.port(), kAnn, kAnnPw);
        line.ArriveAndWait();
        ns2__libraryTemplate* result = nullptr;
        Outcome& outcome = outcomes[static_cast<size_t>(i)];
        outcome.status = client.SetTemplate(kAnn, kAnnPw, nameOf(i), code, password, &result);
        outcome.fault = FaultText(client.soap());
        if (result != nullptr) outcome.docID = result->docID;
      });
    }
    clients.JoinAll();
    return outcomes;
  }
};

// Which outcomes succeeded; the others must be refusals whose text contains `refusal`.
std::vector<size_t> Successes(const std::vector<Outcome>& outcomes, const std::string& refusal) {
  std::vector<size_t> ok;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    if (outcomes[i].status == SOAP_OK) {
      ok.push_back(i);
    } else {
      EXPECT_EQ(outcomes[i].status, SOAP_SVR_FAULT) << outcomes[i].fault;
      EXPECT_NE(outcomes[i].fault.find(refusal), std::string::npos) << outcomes[i].fault;
    }
  }
  return ok;
}

TEST_F(PublishLeaseTest, ConcurrentUpdatesOfOneTemplateLetOneRunThrough) {
  StartService();
  SoapClient client(service_.port(), kAnn, kAnnPw);
  auto [id, password] = client.CreateTemplate("Card");
  ns2__libraryTemplate* committed = nullptr;
  ASSERT_EQ(client.CommitTemplate(id, password, &committed), SOAP_OK) << FaultText(client.soap());
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    std::vector<Outcome> outcomes = ConcurrentSetTemplates(
        6, [](int i) { return "Run " + std::to_string(i); }, &id, &password);
    std::vector<size_t> winners = Successes(outcomes, "Template " + id + kBeingPublished);
    ASSERT_EQ(winners.size(), 1u);
    // The stored record is the winner's, and the winner's run ends with its commit.
    std::vector<ns4__libraryTemplate*> list;
    ASSERT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(Text(list[0]->docName), "Run " + std::to_string(winners[0]));
    ASSERT_EQ(client.CommitTemplate(id, password, &committed), SOAP_OK);
  }
}

TEST_F(PublishLeaseTest, ASecondRunStopsAtItsSetTemplateAndTheFirstStaysWhole) {
  StartService();
  SoapClient a(service_.port(), kAnn, kAnnPw);
  SoapClient b(service_.port(), kAnn, kAnnPw);
  auto [id, password] = a.CreateTemplate("Card");
  ns2__libraryTemplate* record = nullptr;
  ASSERT_EQ(a.CommitTemplate(id, password, &record), SOAP_OK);

  // A's run begins; B's run reads what it needs, then is refused at its first change.
  ASSERT_EQ(a.SetTemplate(kAnn, kAnnPw, "Card", &id, &password, &record), SOAP_OK);
  std::vector<ns4__libraryTemplate*> list;
  ASSERT_EQ(b.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);
  std::vector<ns2__OstrFieldInfo*> fields;
  ASSERT_EQ(b.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);
  EXPECT_EQ(b.SetTemplate(kAnn, kAnnPw, "Card", &id, &password, &record), SOAP_SVR_FAULT);
  EXPECT_NE(FaultText(b.soap()).find(kBeingPublished), std::string::npos) << FaultText(b.soap());

  // A's run goes on to its commit; what is stored is all A's.
  std::vector<ns2__logicGroup*> groups;
  ASSERT_EQ(a.GetLogicGroups(id, password, &groups), SOAP_OK);
  ASSERT_EQ(a.SetLogicGroups(id, password, {{0, "A group"}}, &groups), SOAP_OK);
  ASSERT_EQ(a.SetFields(id, password, {a.NewField("a1"), a.NewField("a2")}, true, &fields),
            SOAP_OK);
  std::vector<ns2__assetInfo*> assets;
  ASSERT_EQ(a.SetAssets(id, password, {{"http://h/a/Card.tlvd", "Card.tlvd"}}, &assets), SOAP_OK);
  ASSERT_EQ(a.CommitTemplate(id, password, &record), SOAP_OK);
  ASSERT_EQ(b.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(Text(fields[0]->fieldName), "a1");

  // B tries again and now goes through.
  ASSERT_EQ(b.SetTemplate(kAnn, kAnnPw, "Card", &id, &password, &record), SOAP_OK)
      << FaultText(b.soap());
  ASSERT_EQ(b.SetFields(id, password, {b.NewField("b1")}, true, &fields), SOAP_OK);
  ASSERT_EQ(b.SetAssets(id, password, {{"http://h/b/Card.tlvd", "Card.tlvd"}}, &assets), SOAP_OK);
  ASSERT_EQ(b.CommitTemplate(id, password, &record), SOAP_OK);
  ASSERT_EQ(a.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(Text(fields[0]->fieldName), "b1");
  ASSERT_EQ(a.SetAssets(id, password, {}, &assets), SOAP_OK);
  ASSERT_EQ(assets.size(), 1u);
  EXPECT_EQ(Text(assets[0]->assetURL), "http://h/b/Card.tlvd");
}

// The plug-in stops a run at the first call that fails, so a fault answered to any of the run's
// later calls frees the template at once: injected faults of every kind, and a real one.
TEST_F(PublishLeaseTest, AFaultAnsweredToTheRunFreesTheTemplateAtOnce) {
  StartService({"--fault", "getLogicGroups:garbage:1", "--fault", "setLogicGroups:close:1",
                "--fault", "setFields:soap-fault:1", "--fault", "setAssets:http-503:1", "--fault",
                "commitTemplate:soap-fault:1"});
  SoapClient client(service_.port(), kAnn, kAnnPw);
  auto [id, password] = client.CreateTemplate("Card");  // the creating run holds it
  ns2__libraryTemplate* record = nullptr;
  ASSERT_EQ(client.SetTemplate(kAnn, kAnnPw, "Card", &id, &password, &record), SOAP_SVR_FAULT);

  std::vector<ns2__logicGroup*> groups;
  std::vector<ns2__OstrFieldInfo*> fields;
  std::vector<ns2__assetInfo*> assets;
  const std::vector<std::pair<std::string, std::function<int()>>> failing = {
      {"getLogicGroups", [&] { return client.GetLogicGroups(id, password, &groups); }},
      {"setLogicGroups",
       [&] {
         return client.SetLogicGroups(id, password, {{0, "G"}}, &groups);
       }},
      {"setFields", [&] { return client.SetFields(id, password, {}, true, &fields); }},
      {"setAssets", [&] { return client.SetAssets(id, password, {}, &assets); }},
      {"commitTemplate", [&] { return client.CommitTemplate(id, password, &record); }},
      // Not injected: a field without a name is refused by the service itself.
      {"setFields without a name",
       [&] { return client.SetFields(id, password, {client.NewField("")}, true, &fields); }},
  };
  for (const auto& [what, call] : failing) {
    SCOPED_TRACE(what);
    EXPECT_NE(call(), SOAP_OK);
    // The next run takes the template at once.
    EXPECT_EQ(client.SetTemplate(kAnn, kAnnPw, "Card", &id, &password, &record), SOAP_OK)
        << FaultText(client.soap());
  }
  // A successful call keeps the run's hold.
  ASSERT_EQ(client.SetFields(id, password, {}, true, &fields), SOAP_OK);
  EXPECT_EQ(client.SetTemplate(kAnn, kAnnPw, "Card", &id, &password, &record), SOAP_SVR_FAULT);
}

TEST_F(PublishLeaseTest, ARunThatVanishedLosesTheTemplateAfterThePublishTimeout) {
  StartService({"--publish-timeout", "1"});
  SoapClient client(service_.port(), kAnn, kAnnPw);
  auto [id, password] = client.CreateTemplate("Card");  // and the run vanishes
  ns2__libraryTemplate* record = nullptr;
  ASSERT_EQ(client.SetTemplate(kAnn, kAnnPw, "Card", &id, &password, &record), SOAP_SVR_FAULT);
  EXPECT_NE(FaultText(client.soap()).find("the template is free again in 1 s"), std::string::npos)
      << FaultText(client.soap());
  int status = SOAP_SVR_FAULT;
  for (int i = 0; i < 100 && status != SOAP_OK; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    status = client.SetTemplate(kAnn, kAnnPw, "Card", &id, &password, &record);
  }
  EXPECT_EQ(status, SOAP_OK) << FaultText(client.soap());
}

TEST_F(PublishLeaseTest, ConcurrentFirstPublishesOfOneNameCreateOneTemplate) {
  StartService();
  SoapClient client(service_.port(), kAnn, kAnnPw);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const std::string name = "Same " + std::to_string(round);
    std::vector<Outcome> outcomes = ConcurrentSetTemplates(
        6, [&](int) { return name; }, nullptr, nullptr);
    std::vector<size_t> winners = Successes(outcomes, "A template named \"" + name + "\" (");
    ASSERT_EQ(winners.size(), 1u);
    const std::string winner = outcomes[winners[0]].docID;
    for (const Outcome& outcome : outcomes) {
      if (outcome.status != SOAP_OK) {
        EXPECT_NE(outcome.fault.find("(" + winner + ") has not been committed yet"),
                  std::string::npos)
            << outcome.fault;
      }
    }
    std::vector<ns4__libraryTemplate*> list;
    ASSERT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);
    int named = 0;
    for (const ns4__libraryTemplate* entry : list) named += Text(entry->docName) == name ? 1 : 0;
    EXPECT_EQ(named, 1);
  }
}

}  // namespace
}  // namespace osltest

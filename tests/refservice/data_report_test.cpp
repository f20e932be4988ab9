// `osl-service list` and `osl-service show` on a data folder filled through the running service
// by SOAP calls, as a client fills it; read while the service runs and after it stopped.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/refservice/raw_http.h"
#include "tests/refservice/service_fixture.h"
#include "tests/refservice/soap_client.h"
#include "tests/support/subprocess.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

using namespace osl_soap;

constexpr char kBob[] = "bob@example.org";
constexpr char kBobPw[] = "bob-pw";

struct Template {
  std::string id;
  std::string password;
};

class DataReportTest : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string error;
    // Two accounts: the second start adds Bob and keeps Ann.
    ASSERT_TRUE(service_.Start(dir_.path(), {"--user", kAnn, "--password", kAnnPw}, &error))
        << error;
    ASSERT_EQ(service_.Stop(), 0);
    ASSERT_TRUE(service_.Start(dir_.path(), {"--user", kBob, "--password", kBobPw}, &error))
        << error;
  }

  RunResult Run(std::vector<std::string> arguments) {
    // The service's own data folder: on PostgreSQL its state is in the database.
    for (size_t i = 0; TestOnPostgres() && i + 1 < arguments.size(); ++i) {
      if (arguments[i] == "--data" && arguments[i + 1] == dir_.path()) {
        arguments.insert(arguments.begin() + static_cast<std::ptrdiff_t>(i),
                         {"--database", db_.url()});
        break;
      }
    }
    std::vector<std::string> argv = {BuiltProgram("osl-service")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProcess(argv, RunOptions{{}, "", 20000, ""});
  }

  // Ann's business card: two groups, three fields, an uploaded document and a foreign proof,
  // committed. Returns the template and fills the upload's address and the group ids.
  Template PublishBusinessCard(std::string* address, int* addressGroup, int* phoneGroup) {
    SoapClient ann(service_.port(), kAnn, kAnnPw);
    auto [id, password] = ann.CreateTemplate("Business card");
    std::vector<ns2__logicGroup*> groups;
    EXPECT_EQ(ann.SetLogicGroups(id, password, {{0, "Address"}, {0, "Phones"}}, &groups), SOAP_OK)
        << FaultText(ann.soap());
    if (groups.size() != 2) {
      ADD_FAILURE() << "setLogicGroups answered " << groups.size() << " groups";
      return {};
    }
    *addressGroup = groups[0]->logicGroupID;
    *phoneGroup = groups[1]->logicGroupID;

    ns2__OstrFieldInfo* name = ann.NewField("name");
    name->pdfRect = soap_new_std__string(ann.soap());
    *name->pdfRect = "10,20,200,40";
    name->pageNumber = 1;
    name->controlType = ns2__enumControlType__textBox;
    name->zOrder = 1;
    name->logicGroupID = *addressGroup;
    ns2__OstrFieldInfo* phone = ann.NewField("phone");
    phone->pageNumber = 2;
    phone->controlType = ns2__enumControlType__textArea;
    phone->rotation = 12.5;
    phone->zOrder = 2;
    phone->logicGroupID = *phoneGroup;
    ns2__OstrFieldInfo* logo = ann.NewField("logo");
    logo->pdfRect = soap_new_std__string(ann.soap());
    *logo->pdfRect = "0,0,72,72";
    logo->pageNumber = 1;
    logo->controlType = ns2__enumControlType__stdImageUpload;
    logo->rotation = -90;
    logo->zOrder = 3;
    std::vector<ns2__OstrFieldInfo*> stored;
    EXPECT_EQ(ann.SetFields(id, password, {name, phone, logo}, true, &stored), SOAP_OK)
        << FaultText(ann.soap());

    HttpReply upload = Upload(service_.port(), "s-1", "card.tlvd", "document");
    EXPECT_EQ(upload.status, 200) << upload.body;
    *address = upload.body;
    std::vector<ns2__assetInfo*> assets;
    EXPECT_EQ(ann.SetAssets(id, password,
                            {{*address, "card.tlvd", ns2__eAssetType__tolvanDocument},
                             {"http://elsewhere/x.pdf", "Proof.pdf", ns2__eAssetType__masterPDF}},
                            &assets),
              SOAP_OK)
        << FaultText(ann.soap());
    ns2__libraryTemplate* committed = nullptr;
    EXPECT_EQ(ann.CommitTemplate(id, password, &committed), SOAP_OK) << FaultText(ann.soap());
    return {id, password};
  }

};

TEST_F(DataReportTest, ListAndShowPrintWhatTheClientsStored) {
  std::string address;
  int addressGroup = 0, phoneGroup = 0;
  Template card = PublishBusinessCard(&address, &addressGroup, &phoneGroup);
  ASSERT_FALSE(card.id.empty());
  SoapClient ann(service_.port(), kAnn, kAnnPw);
  Template label;
  std::tie(label.id, label.password) = ann.CreateTemplate("Address label");
  SoapClient bob(service_.port(), kBob, kBobPw);
  Template flyer;
  std::tie(flyer.id, flyer.password) = bob.CreateTemplate("Flyer\tA5");
  std::vector<ns2__OstrFieldInfo*> stored;
  ASSERT_EQ(bob.SetFields(flyer.id, flyer.password, {bob.NewField("headline")}, true, &stored),
            SOAP_OK);

  const std::string expectedList =
      std::string(kAnn) + "\tAddress label\t" + label.id +
      "\tactive\tuncommitted\tfields=0\tgroups=0\tassets=0\n" + kAnn + "\tBusiness card\t" +
      card.id + "\tactive\tcommitted\tfields=3\tgroups=2\tassets=2\n" + kBob + "\tFlyer\\tA5\t" +
      flyer.id + "\tactive\tuncommitted\tfields=1\tgroups=0\tassets=0\n";
  const std::string group1 = std::to_string(addressGroup);
  const std::string group2 = std::to_string(phoneGroup);
  const std::string expectedShow =
      "template " + card.id + "\n  owner: " + kAnn +
      "\n  name: Business card\n  description: (absent)\n  password: " + card.password +
      "\n  category: (absent)\n  active: yes\n  committed: yes (1 commit)\n  pages: 2\n"
      "  width: 612\n  height: 792\n  bleed: 0\n  clientType: 1\n  userID: 1\n"
      "  fullScreenWindow: prohibited\n"
      "logic groups: 2\n  " +
      group1 + "\tAddress\tmoveDown\n  " + group2 +
      "\tPhones\tmoveDown\n"
      "fields: 3\n"
      "  name\tcontrolType=textBox\tpage=1\tpdfRect=10,20,200,40\trotation=0\tzOrder=1\tgroup=" +
      group1 +
      " (Address)\n"
      "  phone\tcontrolType=textArea\tpage=2\tpdfRect=(absent)\trotation=12.5\tzOrder=2\tgroup=" +
      group2 +
      " (Phones)\n"
      "  logo\tcontrolType=stdImageUpload\tpage=1\tpdfRect=0,0,72,72\trotation=-90\tzOrder=3\t"
      "group=0 (none)\n"
      "assets: 2\n  card.tlvd\ttype=tolvanDocument\taddress=" +
      address +
      "\tsize=8\n"
      "  Proof.pdf\ttype=masterPDF\taddress=http://elsewhere/x.pdf\tsize=unknown\n";

  // While the service runs (its latest writes still in the write-ahead log) ...
  RunResult list = Run({"list", "--data", dir_.path()});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, expectedList);
  RunResult show = Run({"show", "--data", dir_.path(), card.id});
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_EQ(show.out, expectedShow);
  std::string upperId = card.id;
  for (char& c : upperId) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(Run({"show", "--data", dir_.path(), upperId}).out, expectedShow);

  // ... and after it stopped.
  ASSERT_EQ(service_.Stop(), 0);
  EXPECT_EQ(Run({"list", "--data", dir_.path()}).out, expectedList);
  EXPECT_EQ(Run({"show", "--data", dir_.path(), card.id}).out, expectedShow);
  std::string error;
  ASSERT_TRUE(service_.Start(dir_.path(), {}, &error)) << error;
}

// Characters that reorder or hide what follows them on a terminal line are
// shown escaped, like the other control characters.
TEST_F(DataReportTest, BidirectionalAndC1ControlsAreShownEscaped) {
  SoapClient bob(service_.port(), kBob, kBobPw);
  Template tricky;
  std::tie(tricky.id, tricky.password) = bob.CreateTemplate(
      "Invoice\xe2\x80\xae"
      "fdp.exe\xc2\x85"
      "end\xe2\x81\xa6"
      "x\xd8\x9c");
  ASSERT_FALSE(tricky.id.empty());
  const RunResult list = Run({"list", "--data", dir_.path()});
  EXPECT_NE(std::string::npos,
            list.out.find("\tInvoice\\u202Efdp.exe\\u0085end\\u2066x\\u061C\t" + tricky.id))
      << list.out;
  const RunResult show = Run({"show", "--data", dir_.path(), tricky.id});
  EXPECT_NE(std::string::npos,
            show.out.find("  name: Invoice\\u202Efdp.exe\\u0085end\\u2066x\\u061C\n"))
      << show.out;
  for (const std::string& out : {list.out, show.out}) {
    for (const char* raw : {"\xe2\x80\xae", "\xc2\x85", "\xe2\x81\xa6", "\xd8\x9c"}) {
      EXPECT_EQ(std::string::npos, out.find(raw));
    }
  }
  // Other text outside ASCII stays as it is.
  std::tie(tricky.id, tricky.password) = bob.CreateTemplate(
      "Stra\xc3\x9f"
      "e \xe2\x82\xac");
  EXPECT_NE(std::string::npos, Run({"list", "--data", dir_.path()})
                                   .out.find("\tStra\xc3\x9f"
                                             "e \xe2\x82\xac\t"));
}

TEST_F(DataReportTest, ListingWhileAClientWritesSeesWholeTemplates) {
  SoapClient ann(service_.port(), kAnn, kAnnPw);
  auto [id, password] = ann.CreateTemplate("Busy");
  std::atomic<bool> done{false};
  ThreadGroup writer([&] { done = true; });
  writer.Start([&, id = id, password = password] {
    SoapClient client(service_.port(), kAnn, kAnnPw);
    for (int i = 0; i < 30 && !done; ++i) {
      std::vector<ns2__OstrFieldInfo*> stored;
      std::vector<ns2__OstrFieldInfo*> fields;
      for (int f = 0; f <= i % 5; ++f) fields.push_back(client.NewField("f" + std::to_string(f)));
      EXPECT_EQ(client.SetFields(id, password, fields, true, &stored), SOAP_OK);
    }
  });
  for (int round = 0; round < 5; ++round) {
    RunResult list = Run({"list", "--data", dir_.path()});
    EXPECT_EQ(list.status, 0) << list.err;
    const std::string prefix = std::string(kAnn) + "\tBusy\t" + id + "\tactive\tuncommitted\t";
    ASSERT_EQ(list.out.rfind(prefix, 0), 0u) << list.out;
    std::string counts = list.out.substr(prefix.size());
    EXPECT_TRUE(counts.size() == std::string("fields=1\tgroups=0\tassets=0\n").size() &&
                counts.rfind("fields=", 0) == 0 && counts[7] >= '0' && counts[7] <= '5')
        << counts;
  }
  writer.JoinAll();
}

// The account commands open either store the way the service does: what they change, the
// running service signs in with at once, addresses matching in any letter case.
TEST_F(DataReportTest, AccountCommandsChangeTheRunningServicesAccountsOnEitherStore) {
  const std::vector<std::string> place = TestOnPostgres()
                                             ? std::vector<std::string>{"--database", db_.url()}
                                             : std::vector<std::string>{"--data", dir_.path()};
  struct Step {
    const char* action;
    const char* email;
    const char* input;
    int status;
    const char* said;  // the start of what it printed (stdout when 0, stderr otherwise)
  };
  const Step steps[] = {
      {"add", "carol@example.org", "carol-pw\n", 0, "osl-service: created the account carol@"},
      {"add", "CAROL@example.org", "other\n", 1, "osl-service: the account carol@example.org "},
      {"passwd", "Carol@Example.ORG", "new-pw\n", 0, "osl-service: changed the password of carol@"},
      {"passwd", "dave@example.org", "pw\n", 1, "osl-service: there is no account dave@"},
      {"remove", "BOB@example.org", "", 0, "osl-service: removed the account bob@example.org\n"},
      {"remove", "bob@example.org", "", 1, "osl-service: there is no account bob@"},
  };
  for (const Step& step : steps) {
    std::vector<std::string> argv = {BuiltProgram("osl-service"), "user", step.action};
    argv.insert(argv.end(), place.begin(), place.end());
    argv.push_back(step.email);
    RunResult result = RunProcess(argv, RunOptions{{}, step.input, 30000, ""});
    EXPECT_EQ(result.status, step.status) << step.action << " " << step.email << ": " << result.err;
    EXPECT_EQ((step.status == 0 ? result.out : result.err).rfind(step.said, 0), 0u)
        << step.action << " " << step.email << ": " << result.out << result.err;
  }
  auto signsIn = [&](const char* email, const char* password) {
    SoapClient client(service_.port(), email, password);
    std::vector<ns4__libraryTemplate*> list;
    return client.GetLibraryTemplates(email, password, &list) == SOAP_OK;
  };
  EXPECT_TRUE(signsIn("carol@example.org", "new-pw"));
  EXPECT_FALSE(signsIn("carol@example.org", "carol-pw"));
  EXPECT_FALSE(signsIn(kBob, kBobPw));
  EXPECT_TRUE(signsIn(kAnn, kAnnPw));
}

TEST_F(DataReportTest, UnknownIdentifierAndUnusableFoldersAreUsageErrors) {
  RunResult unknown = Run({"show", "--data", dir_.path(), kZeroGuidText});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err, "osl-service: no template with identifier " + std::string(kZeroGuidText) +
                             " in " + StoreName() + "\n");

  TempDir other;
  RunResult missing = Run({"list", "--data", other.path() + "/nowhere"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "osl-service: no data folder at " + other.path() + "/nowhere\n");
  RunResult empty = Run({"show", "--data", other.path(), kZeroGuidText});
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.err, "osl-service: " + other.path() +
                           " is not a data folder of osl-service (it holds no service.db)\n");
  other.Write("service.db", "this is not a database, just text of some length............");
  RunResult invalid = Run({"list", "--data", other.path()});
  EXPECT_EQ(invalid.status, 2);
  EXPECT_NE(invalid.err.find("service.db"), std::string::npos) << invalid.err;
  EXPECT_EQ(Run({"list"}).status, 2);
  EXPECT_EQ(Run({"show", "--data", dir_.path()}).status, 2);
}

}  // namespace
}  // namespace osltest

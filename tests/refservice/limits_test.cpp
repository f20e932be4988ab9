// The service's limits, each driven by the hostile input it guards against: the request is
// refused with a clear reason, and nothing that was stored is lost.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/refservice/raw_http.h"
#include "tests/refservice/service_fixture.h"
#include "tests/refservice/soap_client.h"
#include "tests/support/subprocess.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

namespace fs = std::filesystem;
using namespace osl_soap;

class LimitsTest : public ServiceFixture {
 protected:
  std::vector<std::string> StoredFiles() {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path() + "/uploads")) {
      if (!entry.is_directory()) {
        files.push_back(fs::relative(entry.path(), dir_.path() + "/uploads").string());
      }
    }
    std::sort(files.begin(), files.end());
    return files;
  }
};

// A setFields request written by hand; `field` goes inside ns2:docFields.
std::string SetFieldsRequest(const std::string& id, const std::string& password,
                             const std::string& field, const std::string& extraDeclarations = "") {
  std::string envelope =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:ns2=\"urn:osl:templates\"" +
      extraDeclarations + "><SOAP-ENV:Body><ns2:setFields><ns2:userEmail>" + kAnn +
      "</ns2:userEmail><ns2:userPassword>" + kAnnPw + "</ns2:userPassword><ns2:docCode>" + id +
      "</ns2:docCode><ns2:docPassword>" + password + "</ns2:docPassword><ns2:docFields>" + field +
      "</ns2:docFields><ns2:deleteOthers>true</ns2:deleteOthers></ns2:setFields>"
      "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
  return PostRequest("/services/templateMgr.svc", "text/xml; charset=utf-8", envelope,
                     "SOAPAction: \"urn:osl:templates/ItemplateMgr/setFields\"\r\n");
}

std::string Field(const std::string& name, const std::string& inside = "") {
  return "<ns2:OstrFieldInfo><ns2:fieldName>" + name + "</ns2:fieldName>" + inside +
         "</ns2:OstrFieldInfo>";
}

// The faultstring of a SOAP Fault reply, or "" when the reply is not one.
std::string FaultString(const HttpReply& reply) {
  size_t start = reply.body.find("<faultstring>");
  size_t end = reply.body.find("</faultstring>");
  if (reply.status != 500 || start == std::string::npos || end == std::string::npos) return "";
  return reply.body.substr(start + 13, end - start - 13);
}

TEST_F(LimitsTest, HostileXmlIsRefusedBeforeAuthenticationAndNothingIsLost) {
  StartService({"--max-xml-elements", "400"});
  SoapClient client(service_.port(), kAnn, kAnnPw);
  auto [id, password] = client.CreateTemplate("Guarded");
  // A hand-written request goes through, so the refusals below are the limits' doing.
  HttpReply stored =
      ParseReply(RawExchange(service_.port(), SetFieldsRequest(id, password, Field("kept"))));
  ASSERT_EQ(stored.status, 200) << stored.body;

  std::string deep = "<ns2:defaultValue>";
  for (int i = 0; i < 100; ++i) deep += "<x>";
  std::string attributes = "<ns2:fieldName";
  for (int i = 0; i < 40; ++i) attributes += " a" + std::to_string(i) + "='v'";
  // Namespace declarations spread over elements, each within the attribute limit.
  std::string declarations;
  for (int field = 0; field < 4; ++field) {
    declarations += "<ns2:OstrFieldInfo";
    for (int i = 0; i < 20; ++i) {
      declarations += " xmlns:p" + std::to_string(field * 20 + i) + "='urn:p'";
    }
    declarations +=
        "><ns2:fieldName>n" + std::to_string(field) + "</ns2:fieldName></ns2:OstrFieldInfo>";
  }
  std::string many;
  for (int i = 0; i < 250; ++i) many += Field("f" + std::to_string(i));
  struct Case {
    std::string request;
    std::string reason;  // the start of the faultstring
  };
  const std::vector<Case> cases = {
      {SetFieldsRequest(id, password, Field("a", deep)),
       "The request nests elements deeper than 64 levels"},
      {SetFieldsRequest(id, password, attributes + ">x</ns2:fieldName>"),
       "An element of the request has more than 32 attributes"},
      {SetFieldsRequest(id, password, declarations),
       "The request declares more than 64 namespaces."},
      {SetFieldsRequest(id, password, many), "The request has more than 400 elements."},
      {SetFieldsRequest(id, password, Field("bad&#1;name")),
       "The request contains the character U+0001, which XML does not allow"},
      {SetFieldsRequest(id, password, Field("bad&#0;name")),
       "The request contains the character U+0000, which XML does not allow"},
      {SetFieldsRequest(id, password, Field("bad&#xFFFE;name")),
       "The request contains the character U+FFFE, which XML does not allow"},
      {SetFieldsRequest(id, password, Field("bad&#xD800;name")),
       "The request contains the character U+D800, which XML does not allow"},
      {SetFieldsRequest(id, password, Field("bad\xED\xA0\x80name")), "The request is not UTF-8"},
      {SetFieldsRequest(id, password, Field(std::string("bad\x01name"))),
       "The request contains the character U+0001, which XML does not allow"},
  };
  for (const Case& c : cases) {
    HttpReply reply = ParseReply(RawExchange(service_.port(), c.request));
    EXPECT_EQ(reply.status, 500) << c.reason;
    EXPECT_NE(reply.body.find("<faultcode>SOAP-ENV:Client</faultcode>"), std::string::npos)
        << reply.body;
    EXPECT_EQ(FaultString(reply).rfind(c.reason, 0), 0u) << FaultString(reply) << " / " << c.reason;
  }
  // Wrong credentials with a hostile body: the limit answers, not the password check.
  std::string wrong = SetFieldsRequest(id, "not-the-password", Field("x&#1;"));
  EXPECT_EQ(
      FaultString(ParseReply(RawExchange(service_.port(), wrong))).rfind("The request contains", 0),
      0u);
  // The stored field is untouched.
  std::vector<ns2__OstrFieldInfo*> fields;
  ASSERT_EQ(client.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(Text(fields[0]->fieldName), "kept");
}

// The number of elements (start tags) in `xml`.
size_t ElementCount(const std::string& xml) {
  size_t count = 0;
  for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
    char next = at + 1 < xml.size() ? xml[at + 1] : '/';
    if (next != '/' && next != '?' && next != '!') ++count;
  }
  return count;
}

// `count` attributes (namespace declarations when `prefix` is "xmlns:p") of one element.
std::string Attributes(const std::string& prefix, int first, int count) {
  std::string text;
  for (int i = first; i < first + count; ++i) text += " " + prefix + std::to_string(i) + "='urn:v'";
  return text;
}

// A request exactly at each XML limit goes through the pre-scan and the parser and is stored;
// one more element, level, attribute or declaration is refused.
TEST_F(LimitsTest, XmlExactlyAtItsLimitsIsServed) {
  StartService({"--max-xml-elements", "400"});
  SoapClient client(service_.port(), kAnn, kAnnPw);
  auto [id, password] = client.CreateTemplate("At the limits");
  auto send = [&, id = id, password = password](const std::string& inside) {
    return ParseReply(
        RawExchange(service_.port(), SetFieldsRequest(id, password, Field("f", inside))));
  };
  // Envelope, Body, setFields, docFields and OstrFieldInfo are five levels; elements the field
  // record does not define are skipped.
  auto nested = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "<x>";
    for (int i = 0; i < levels; ++i) text += "</x>";
    return text;
  };
  HttpReply deep = send(nested(64 - 5));
  EXPECT_EQ(deep.status, 200) << FaultString(deep);
  EXPECT_EQ(FaultString(send(nested(65 - 5))).rfind("The request nests elements deeper than 64", 0),
            0u);

  HttpReply attributes = send("<x" + Attributes("a", 0, 32) + "/>");
  EXPECT_EQ(attributes.status, 200) << FaultString(attributes);
  EXPECT_EQ(FaultString(send("<x" + Attributes("a", 0, 33) + "/>"))
                .rfind("An element of the request has more than 32 attributes", 0),
            0u);

  // The envelope declares two namespaces.
  std::string declarations =
      "<x" + Attributes("xmlns:p", 0, 31) + "/><x" + Attributes("xmlns:p", 31, 31) + "/>";
  HttpReply namespaces = send(declarations);
  EXPECT_EQ(namespaces.status, 200) << FaultString(namespaces);
  EXPECT_EQ(FaultString(send(declarations + "<x xmlns:q='urn:q'/>")),
            "The request declares more than 64 namespaces.");

  const size_t base = ElementCount(SetFieldsRequest(id, password, Field("f")));
  std::string fillers;
  for (size_t i = base; i < 400; ++i) fillers += "<x/>";
  ASSERT_EQ(ElementCount(SetFieldsRequest(id, password, Field("f", fillers))), 400u);
  HttpReply elements = send(fillers);
  EXPECT_EQ(elements.status, 200) << FaultString(elements);
  EXPECT_EQ(FaultString(send(fillers + "<x/>")), "The request has more than 400 elements.");

  std::vector<ns2__OstrFieldInfo*> fields;
  ASSERT_EQ(client.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(Text(fields[0]->fieldName), "f");
}

TEST_F(LimitsTest, UploadQuotasRefuseClearlyAndStoreNothing) {
  StartService({"--max-session-mb", "1", "--max-data-mb", "2"});
  const std::string piece(600 * 1024, 'q');
  HttpReply first = Upload(service_.port(), "s-1", "a.bin", piece);
  ASSERT_EQ(first.status, 200) << first.body;
  HttpReply overSession = Upload(service_.port(), "s-1", "b.bin", piece);
  EXPECT_EQ(overSession.status, 507);
  EXPECT_EQ(overSession.body,
            "upload refused: session s-1 would hold more than its quota of 1 MiB of uploaded "
            "files\n");
  ASSERT_EQ(Upload(service_.port(), "s-2", "c.bin", piece).status, 200);
  ASSERT_EQ(Upload(service_.port(), "s-3", "d.bin", piece).status, 200);
  HttpReply overFolder = Upload(service_.port(), "s-4", "e.bin", piece);
  EXPECT_EQ(overFolder.status, 507);
  EXPECT_EQ(overFolder.body,
            "upload refused: the data folder would hold more than its quota of 2 MiB of uploaded "
            "files\n");
  EXPECT_EQ(StoredFiles().size(), 3u);
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
  // The stored files are intact, a small one still fits, and the usage survives a restart.
  EXPECT_EQ(Sha256Of(Get(service_.port(), first.body.substr(first.body.find("/files/"))).body),
            Sha256Of(piece));
  EXPECT_EQ(Upload(service_.port(), "s-1", "small.bin", "tiny").status, 200);
  ASSERT_EQ(StopService(), 0);
  ASSERT_NO_FATAL_FAILURE(StartServiceWith({"--max-session-mb", "1", "--max-data-mb", "2"}));
  EXPECT_EQ(Upload(service_.port(), "s-1", "b.bin", piece).status, 507);
  EXPECT_EQ(StoredFiles().size(), 4u);
}

TEST_F(LimitsTest, APlantedLinkLeadsNowhere) {
  StartService();
  TempDir outside;
  outside.Write("secret.txt", "secret");
  fs::create_directory_symlink(outside.path(), dir_.path() + "/uploads/s-link");
  HttpReply reply = Upload(service_.port(), "s-link", "x.txt", "payload");
  EXPECT_EQ(reply.status, 500);
  EXPECT_NE(reply.body.find("a symbolic link is in the way"), std::string::npos) << reply.body;
  EXPECT_EQ(Get(service_.port(), "/files/s-link/secret.txt").status, 404);
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
  std::vector<std::string> outsideFiles;
  for (const auto& entry : fs::recursive_directory_iterator(outside.path())) {
    outsideFiles.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(outsideFiles, std::vector<std::string>{"secret.txt"});

  // A link in place of one of the service's own folders stops the start with a clear message.
  ASSERT_EQ(StopService(), 0);
  fs::remove_all(dir_.path() + "/incoming");
  fs::create_directory_symlink(outside.path(), dir_.path() + "/incoming");
  RunResult start =
      RunProcess({BuiltProgram("osl-service"), "--listen", "127.0.0.1:0", "--data", dir_.path()},
                 RunOptions{{}, "", 10000, ""});
  EXPECT_EQ(start.status, 1);
  EXPECT_NE(start.err.find("incoming: a symbolic link is in the way"), std::string::npos)
      << start.err;
  fs::remove(dir_.path() + "/incoming");
  fs::create_symlink(outside.path() + "/secret.txt", dir_.path() + "/service.db-link");
  fs::rename(dir_.path() + "/service.db", dir_.path() + "/service.db.real");
  fs::rename(dir_.path() + "/service.db-link", dir_.path() + "/service.db");
  start =
      RunProcess({BuiltProgram("osl-service"), "--listen", "127.0.0.1:0", "--data", dir_.path()},
                 RunOptions{{}, "", 10000, ""});
  EXPECT_EQ(start.status, 1);
  EXPECT_NE(start.err.find("service.db"), std::string::npos) << start.err;
  EXPECT_EQ(ReadFile(outside.path() + "/secret.txt"), "secret");
}

TEST_F(LimitsTest, AnUploadCutByAKillLeavesNothingAfterTheRestart) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.Start(
      {BuiltProgram("osl-service"), "--listen", "127.0.0.1:0", "--data", dir_.path()}, {}, &error))
      << error;
  std::string line;
  ASSERT_TRUE(child.ReadLine(&line, 10000)) << child.Stderr();
  const std::string prefix = "listening on http://127.0.0.1:";
  ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
  uint16_t port = static_cast<uint16_t>(std::stoi(line.substr(prefix.size())));

  // Half of an upload arrives; its temporary file exists when the service is killed.
  std::string request = UploadRequest(port, "cut", "big.bin", std::string(400000, 'k'));
  ThreadGroup sender([&] { child.Signal(SIGKILL); });
  sender.Start([&] { RawSend(port, request.substr(0, request.size() / 2), 4000, false); });
  bool partial = false;
  for (int i = 0; i < 200 && !partial; ++i) {
    for (const auto& entry : fs::directory_iterator(dir_.path() + "/incoming")) {
      partial = partial || fs::file_size(entry.path()) > 0;
    }
    if (!partial) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(partial) << "no partial upload appeared";
  child.Signal(SIGKILL);
  EXPECT_EQ(child.Wait(10000), -1);
  sender.JoinAll();
  EXPECT_FALSE(fs::is_empty(dir_.path() + "/incoming"));

  StartService();
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
  EXPECT_TRUE(StoredFiles().empty());
  EXPECT_NE(service_.Stderr().find("removed 1 partial upload(s) left by an interrupted run"),
            std::string::npos)
      << service_.Stderr();
}

}  // namespace
}  // namespace osltest

// osl-service against the project's own service client: `osl templates` and `osl upload`.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "tests/refservice/service_process.h"

namespace osl::refservice {
namespace {

using testing::ParseReply;
using testing::RawExchange;
using testing::ServiceProcess;
using testing::TempDir;

struct OslRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// One `osl` installation of its own: a copy of Osl.pln in a temporary folder, so that its
// settings file points at this test's service and nothing else.
class OslClient {
 public:
  explicit OslClient(const std::string& server, const std::string& user,
                     const std::string& password) {
    std::filesystem::copy_file(OSL_PLUGIN_FILE, dir_.path() + "/Osl.pln");
    std::ofstream(dir_.path() + "/Osl.cfg")
        << "server:" << server << "\nuser:" << user << "\npass:" << password << "\n";
  }

  OslRun Osl(const std::vector<std::string>& args, const std::string& tag = "run") const {
    std::string out = dir_.path() + "/" + tag + ".out";
    std::string err = dir_.path() + "/" + tag + ".err";
    std::string command =
        "LD_LIBRARY_PATH=" + Quote(std::filesystem::path(OSL_BINARY).parent_path()) +
        " timeout 60 " + Quote(OSL_BINARY) + " --plugin " + Quote(dir_.path() + "/Osl.pln");
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
    OslRun run;
    int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
  }

  const std::string& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
};

class ClientTest : public ::testing::Test {
 protected:
  void StartService(const std::vector<std::string>& faults = {}) {
    std::vector<std::string> args = {"--user", "ann@example.org", "--password", "ann-pw"};
    args.insert(args.end(), faults.begin(), faults.end());
    std::string error;
    ASSERT_TRUE(service_.Start(data_.path(), args, &error)) << error;
  }

  // Creates a template through the service's own SOAP interface.
  void CreateTemplate(const std::string& name) {
    std::string envelope =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
        "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "xmlns:ns2=\"urn:osl:templates\"><SOAP-ENV:Body><ns2:setTemplate>"
        "<ns2:userEmail>ann@example.org</ns2:userEmail><ns2:userPassword>ann-pw"
        "</ns2:userPassword><ns2:templateInfo><ns2:docName>" +
        name +
        "</ns2:docName><ns2:docID>00000000-0000-0000-0000-000000000000</ns2:docID>"
        "<ns2:docPassword>00000000-0000-0000-0000-000000000000</ns2:docPassword>"
        "<ns2:isActive>true</ns2:isActive><ns2:docPageCount>1</ns2:docPageCount>"
        "<ns2:docWidth>100</ns2:docWidth><ns2:docHeight>100</ns2:docHeight>"
        "<ns2:docBleed>0</ns2:docBleed><ns2:clientType>0</ns2:clientType><ns2:userID>0"
        "</ns2:userID><ns2:fullScreenWindow>prohibited</ns2:fullScreenWindow>"
        "</ns2:templateInfo></ns2:setTemplate></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    auto reply = ParseReply(RawExchange(
        service_.port(),
        testing::PostRequest("/services/templateMgr.svc", "text/xml; charset=utf-8", envelope,
                             "SOAPAction: \"urn:osl:templates/ItemplateMgr/setTemplate\"\r\n")));
    ASSERT_EQ(reply.status, 200) << reply.body;
  }

  // The service must still be running and end cleanly: a crash or a sanitizer report fails.
  void TearDown() override { EXPECT_EQ(service_.Stop(), 0) << "osl-service did not end cleanly"; }

  TempDir data_;
  ServiceProcess service_;
};

TEST_F(ClientTest, TemplatesListsTheAccountsTemplates) {
  StartService();
  CreateTemplate("First card");
  CreateTemplate("Second card");
  OslClient client(service_.base_url(), "ann@example.org", "ann-pw");
  OslRun run = client.Osl({"templates"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("First card\t"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Second card\t"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\tactive\n"), std::string::npos);

  OslClient stranger(service_.base_url(), "ann@example.org", "not-her-password");
  run = stranger.Osl({"templates"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("Invalid user name or password"), std::string::npos) << run.err;
}

TEST_F(ClientTest, InjectedFaultsReachTheClientsFaultReport) {
  StartService({"--fault", "getLibraryTemplates:soap-fault:1", "--fault",
                "getLibraryTemplates:http-503:1", "--fault", "upload:close:1", "--fault",
                "upload:http-503:1"});
  OslClient client(service_.base_url(), "ann@example.org", "ann-pw");
  OslRun run = client.Osl({"templates"}, "fault");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Injected fault for getLibraryTemplates"), std::string::npos) << run.err;
  run = client.Osl({"templates"}, "http503");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("error: 503"), std::string::npos) << run.err;
  EXPECT_EQ(client.Osl({"templates"}, "ok").status, 0);

  std::string file = client.dir() + "/a.txt";
  std::ofstream(file) << "content";
  EXPECT_EQ(client.Osl({"upload", file}, "close").status, 1);
  EXPECT_EQ(client.Osl({"upload", file}, "u503").status, 1);
  run = client.Osl({"upload", file}, "uok");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("/a.txt"), std::string::npos);
}

TEST_F(ClientTest, UploadedFilesComeBackIntactUnderCleanNames) {
  StartService();
  OslClient client(service_.base_url(), "ann@example.org", "ann-pw");
  std::string file = client.dir() + "/photo.jpg";
  std::string content;
  std::mt19937 random(5);
  for (int i = 0; i < 200000; ++i) content.push_back(static_cast<char>(random()));
  std::ofstream(file, std::ios::binary) << content;

  OslRun run = client.Osl({"upload", file, "--name", "../../escape/photo 1.jpg"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string prefix = service_.base_url() + "/files/";
  ASSERT_EQ(run.out.rfind(prefix, 0), 0u) << run.out;
  std::string path = run.out.substr(service_.base_url().size());
  while (!path.empty() && path.back() == '\n') path.pop_back();
  EXPECT_EQ(path.substr(path.rfind('/')), "/photo_1.jpg");
  auto download = ParseReply(RawExchange(service_.port(), "GET " + path + " HTTP/1.1\r\n\r\n"));
  EXPECT_EQ(download.status, 200);
  EXPECT_EQ(testing::Sha256Of(download.body), testing::Sha256Of(content));
}

TEST_F(ClientTest, TwentyConcurrentClientUploadsAreStoredIntact) {
  StartService();
  constexpr int kCount = 20;
  std::vector<std::unique_ptr<OslClient>> clients;
  std::vector<std::string> contents(kCount);
  std::mt19937 random(77);
  for (int i = 0; i < kCount; ++i) {
    clients.push_back(
        std::make_unique<OslClient>(service_.base_url(), "ann@example.org", "ann-pw"));
    contents[i].resize(20000 + random() % 300000);
    for (char& c : contents[i]) c = static_cast<char>(random());
    std::ofstream(clients[i]->dir() + "/file" + std::to_string(i) + ".bin", std::ios::binary)
        << contents[i];
  }
  std::vector<OslRun> runs(kCount);
  std::vector<std::thread> threads;
  for (int i = 0; i < kCount; ++i) {
    threads.emplace_back([&, i] {
      runs[i] =
          clients[i]->Osl({"upload", clients[i]->dir() + "/file" + std::to_string(i) + ".bin"});
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kCount; ++i) {
    ASSERT_EQ(runs[i].status, 0) << runs[i].err;
    std::string address = runs[i].out;
    while (!address.empty() && address.back() == '\n') address.pop_back();
    std::string path = address.substr(service_.base_url().size());
    EXPECT_EQ(testing::Sha256Of(ReadFile(data_.path() + "/uploads" + path.substr(6))),
              testing::Sha256Of(contents[i]))
        << address;
  }
}

}  // namespace
}  // namespace osl::refservice

// Uploads to a running osl-service over raw HTTP: addresses that serve the stored bytes and never
// change content, hostile names, concurrent uploads, a browser-style client, and upload faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

#include "tests/refservice/raw_http.h"
#include "tests/refservice/service_fixture.h"
#include "tests/support/subprocess.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

namespace fs = std::filesystem;

class UploadTest : public ServiceFixture {
 protected:
  void StartService(const std::vector<std::string>& extra = {}) { StartServiceWith(extra); }

  // The path part ("/files/...") of an address the service handed out.
  static std::string PathOf(const std::string& address) {
    size_t at = address.find("/files/");
    return at == std::string::npos ? "" : address.substr(at);
  }

  // True when `address` is this service's address of a new upload of `name` in `session`.
  ::testing::AssertionResult IsUploadAddress(const std::string& address, const std::string& session,
                                             const std::string& name) {
    const std::string prefix = service_.baseUrl() + "/files/" + session + "/";
    const std::string suffix = "/" + name;
    bool matches = address.size() == prefix.size() + 32 + suffix.size() &&
                   address.compare(0, prefix.size(), prefix) == 0 &&
                   address.compare(prefix.size() + 32, suffix.size(), suffix) == 0 &&
                   address.substr(prefix.size(), 32).find_first_not_of("0123456789abcdef") ==
                       std::string::npos;
    if (matches) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << address << " is not an upload address of " << session << "/" << name;
  }

  // Every entry below the data folder's uploads/ folder, relative.
  std::vector<std::string> StoredFiles() {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path() + "/uploads")) {
      if (entry.is_regular_file()) {
        files.push_back(fs::relative(entry.path(), dir_.path() + "/uploads").string());
      }
    }
    std::sort(files.begin(), files.end());
    return files;
  }

};

TEST_F(UploadTest, TheAddressServesTheFileAndNeverChangesContent) {
  StartService();
  std::string content;
  for (int i = 0; i < 300000; ++i) content.push_back(static_cast<char>(i * 7 % 256));
  const std::string session = "6f1c2a9e-0b7d-4c1e-9f00-123456789abc";
  HttpReply first = Upload(service_.port(), session, "Business card.pdf", content);
  ASSERT_EQ(first.status, 200) << first.body;
  EXPECT_TRUE(IsUploadAddress(first.body, session, "Business_card.pdf"));

  HttpReply download = Get(service_.port(), PathOf(first.body));
  EXPECT_EQ(download.status, 200);
  EXPECT_NE(download.head.find("Content-Type: application/pdf\r\n"), std::string::npos);
  EXPECT_EQ(Sha256Of(download.body), Sha256Of(content));

  // The same name again gets an address of its own; the first address keeps its bytes.
  HttpReply second = Upload(service_.port(), session, "Business card.pdf", "v2");
  ASSERT_EQ(second.status, 200);
  EXPECT_TRUE(IsUploadAddress(second.body, session, "Business_card.pdf"));
  EXPECT_NE(second.body, first.body);
  EXPECT_EQ(Get(service_.port(), PathOf(second.body)).body, "v2");
  EXPECT_EQ(Sha256Of(Get(service_.port(), PathOf(first.body)).body), Sha256Of(content));

  // HEAD announces the body without sending it.
  std::string head =
      RawExchange(service_.port(), "HEAD " + PathOf(second.body) + " HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_EQ(head.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_NE(head.find("\r\nContent-Length: 2\r\n"), std::string::npos) << head;
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n") << "no body after the head";

  // An empty file is stored empty.
  HttpReply empty = Upload(service_.port(), session, ".tlvd", "");
  ASSERT_EQ(empty.status, 200);
  HttpReply emptyDownload = Get(service_.port(), PathOf(empty.body));
  EXPECT_EQ(emptyDownload.status, 200);
  EXPECT_EQ(emptyDownload.body, "");

  EXPECT_EQ(Upload(service_.port(), "../etc", "a.pdf", "x").status, 400);
  EXPECT_EQ(Upload(service_.port(), "", "a.pdf", "x").status, 400);
  EXPECT_EQ(Get(service_.port(), "/files/" + session + "/missing.pdf").status, 404);
  EXPECT_EQ(StoredFiles().size(), 3u);
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
}

TEST_F(UploadTest, HostileNamesStayInsideTheDataFolder) {
  StartService();
  const std::string session = "s-2";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"../../escaped.txt", "escaped.txt"},
      {"/etc/passwd", "passwd"},
      {"..\\..\\win.txt", "win.txt"},
      {std::string("nul\0byte.txt", 12), "nulbyte.txt"},
      {"..", "file"},
      {"sub/../../../x.txt", "x.txt"},
      {"%2e%2e%2fpct.txt", "_2e_2e_2fpct.txt"},
  };
  for (const auto& [name, clean] : cases) {
    HttpReply reply = Upload(service_.port(), session, name, "payload:" + clean);
    ASSERT_EQ(reply.status, 200) << reply.body;
    EXPECT_TRUE(IsUploadAddress(reply.body, session, clean));
    EXPECT_EQ(Get(service_.port(), PathOf(reply.body)).body, "payload:" + clean);
  }
  // Nothing but the service's own files, and every upload inside uploads/s-2.
  for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
    std::string relative = fs::relative(entry.path(), dir_.path()).string();
    bool own = relative.rfind("service.db", 0) == 0 || relative == "service.lock" ||
               relative == "uploads" || relative == "incoming" || relative == "uploads/s-2" ||
               relative.rfind("uploads/s-2/", 0) == 0;
    EXPECT_TRUE(own) << relative;
  }
  EXPECT_FALSE(fs::exists(fs::path(dir_.path()).parent_path() / "escaped.txt"));
  // Paths that try to read outside are not found.
  for (const char* path :
       {"/files/s-2/..%2f..%2fservice.db", "/files/../service.db", "/files/s-2/../../service.db",
        "/files/s-2/%2e%2e", "/files/s-2/~tmp.x", "/files/s-2", "/files/s-2/a/b/c/d",
        "/files/s-2/0123456789abcdef0123456789ABCDEF/x.txt"}) {
    EXPECT_EQ(Get(service_.port(), path).status, 404) << path;
  }
}

TEST_F(UploadTest, TwentyConcurrentUploadsAreStoredIntact) {
  StartService({"--threads", "4"});
  constexpr int kCount = 20;
  std::vector<std::string> contents(kCount);
  std::mt19937 random(2024);
  for (int i = 0; i < kCount; ++i) {
    contents[i].resize(50000 + random() % 400000);
    for (char& c : contents[i]) c = static_cast<char>(random() & 0xFF);
  }
  std::vector<HttpReply> replies(kCount);
  ThreadGroup threads;
  for (int i = 0; i < kCount; ++i) {
    threads.Start([&, i] {
      replies[i] =
          Upload(service_.port(), "concurrent", "file" + std::to_string(i) + ".bin", contents[i]);
    });
  }
  threads.JoinAll();
  for (int i = 0; i < kCount; ++i) {
    std::string name = "file" + std::to_string(i) + ".bin";
    ASSERT_EQ(replies[i].status, 200) << i << ": " << replies[i].body;
    EXPECT_TRUE(IsUploadAddress(replies[i].body, "concurrent", name));
    std::string stored = ReadFile(dir_.path() + "/uploads" + PathOf(replies[i].body).substr(6));
    EXPECT_EQ(Sha256Of(stored), Sha256Of(contents[i])) << name;
    EXPECT_EQ(Sha256Of(Get(service_.port(), PathOf(replies[i].body)).body), Sha256Of(contents[i]))
        << name;
  }
}

TEST_F(UploadTest, InjectedFaultsStoreNothing) {
  StartService({"--fault", "upload:http-503:1", "--fault", "upload:close:1", "--fault",
                "upload:garbage:1", "--fault", "upload:soap-fault:1", "--fault", "upload:delay:1",
                "--delay-ms", "300"});
  EXPECT_EQ(Upload(service_.port(), "s-1", "a.pdf", "x").status, 503);
  EXPECT_EQ(RawExchange(service_.port(), UploadRequest(service_.port(), "s-1", "a.pdf", "x")), "");
  HttpReply garbage = Upload(service_.port(), "s-1", "a.pdf", "x");
  EXPECT_EQ(garbage.status, 200);
  EXPECT_EQ(garbage.body.find("http://"), std::string::npos);
  HttpReply fault = Upload(service_.port(), "s-1", "a.pdf", "x");
  EXPECT_EQ(fault.status, 500);
  EXPECT_NE(fault.body.find("<faultstring>Injected fault for upload.</faultstring>"),
            std::string::npos);
  EXPECT_TRUE(StoredFiles().empty());
  // The delay holds the answer back but stores the file; then uploads work normally.
  auto start = std::chrono::steady_clock::now();
  HttpReply delayed = Upload(service_.port(), "s-1", "a.pdf", "x");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(280));
  EXPECT_TRUE(IsUploadAddress(delayed.body, "s-1", "a.pdf"));
  HttpReply ok = Upload(service_.port(), "s-1", "a.pdf", "x");
  EXPECT_TRUE(IsUploadAddress(ok.body, "s-1", "a.pdf"));
  EXPECT_EQ(StoredFiles().size(), 2u);
}

TEST_F(UploadTest, BrokenBodiesAreRefusedWithAReason) {
  StartService();
  const std::string type = UploadContentType("b");
  HttpReply cut = ParseReply(RawExchange(
      service_.port(), PostRequest("/fileUpload.aspx?sessionid=s", type,
                                   "\r\n--b\r\nContent-Disposition: form-data; filename=\"a\"\r\n"
                                   "\r\nno closing boundary")));
  EXPECT_EQ(cut.status, 400);
  EXPECT_EQ(cut.body, "upload rejected: the upload is incomplete (no closing boundary)\n");
  HttpReply plain = ParseReply(RawExchange(
      service_.port(), PostRequest("/fileUpload.aspx?sessionid=s", "text/plain", "hello")));
  EXPECT_EQ(plain.status, 400);
  EXPECT_EQ(plain.body, "upload rejected: expected multipart/form-data with a boundary\n");
  HttpReply noFile =
      ParseReply(RawExchange(service_.port(), PostRequest("/fileUpload.aspx?sessionid=s", type,
                                                          "--b\r\nContent-Disposition: form-data; "
                                                          "name=\"x\"\r\n\r\nv\r\n--b--")));
  EXPECT_EQ(noFile.status, 400);
  EXPECT_EQ(noFile.body, "upload rejected: the body holds no file part\n");
  EXPECT_TRUE(StoredFiles().empty());
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
}

TEST_F(UploadTest, BrowserFormUploadWithExpectContinue) {
  if (!fs::exists("/usr/bin/curl")) GTEST_SKIP() << "curl is not installed";
  StartService();
  TempDir files;
  std::string content(1500000, 'c');  // large enough for curl to ask "Expect: 100-continue"
  std::string path = files.Write("upload.bin", content);
  RunResult curl = RunProcess({"/usr/bin/curl", "-s", "-S", "--max-time", "20", "-F",
                               "file=@" + path + ";filename=curl file.bin",
                               service_.baseUrl() + "/fileUpload.aspx?sessionid=curl-1"});
  EXPECT_EQ(curl.status, 0) << curl.err;
  EXPECT_TRUE(IsUploadAddress(curl.out, "curl-1", "curl_file.bin"));
  EXPECT_EQ(Sha256Of(Get(service_.port(), PathOf(curl.out)).body), Sha256Of(content));
}

}  // namespace
}  // namespace osltest

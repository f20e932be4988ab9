// `osl templates` and `osl upload` against the capture server, with the
// settings file beside a private copy of Osl.pln.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/service/capture_server.h"
#include "tests/service/test_support.h"

namespace osl_test {
namespace {

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

class OslCliTest : public ::testing::Test {
 protected:
  OslCliTest() { std::filesystem::copy_file(OSL_PLUGIN_FILE, dir_.path() + "/Osl.pln"); }

  void Settings(const std::string& content) { dir_.Write("Osl.cfg", content); }

  OslRun Osl(const std::vector<std::string>& args) {
    std::string command =
        "timeout 60 " + Quote(OSL_BINARY) + " --plugin " + Quote(dir_.path() + "/Osl.pln");
    for (const auto& arg : args) command += " " + Quote(arg);
    command += " 2>" + Quote(dir_.path() + "/stderr.txt");
    OslRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = ReadFile(dir_.path() + "/stderr.txt");
    return run;
  }

  ScratchDir dir_;
};

TEST_F(OslCliTest, TemplatesListsNameIdAndActiveWithTheConfiguredAccount) {
  CaptureServer server({HttpReply(
      200, "OK",
      Envelope("<d:getLibraryTemplatesResponse><d:getLibraryTemplatesResult>"
               "<d:libraryTemplate><d:docName>Card</d:docName>"
               "<d:docID>0f8fad5b-d9cb-469f-a165-70867728950e</d:docID>"
               "<d:isActive>true</d:isActive></d:libraryTemplate>"
               "<d:libraryTemplate><d:docName>Old flyer</d:docName>"
               "<d:docID>7c9e6679-7425-40de-944b-e07fc1f90ae7</d:docID></d:libraryTemplate>"
               "</d:getLibraryTemplatesResult></d:getLibraryTemplatesResponse>"))});
  Settings("Server:" + server.Url("") + "\nuser:anne@example.com\npass:pw\n");
  const OslRun run = Osl({"templates"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "Card\t0f8fad5b-d9cb-469f-a165-70867728950e\tactive\n"
      "Old flyer\t7c9e6679-7425-40de-944b-e07fc1f90ae7\tinactive\n",
      run.out);
  const auto requests = server.Requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(0u, requests[0].find("POST /services/builddoc.asmx HTTP/1.1\r\n"));
  EXPECT_NE(std::string::npos,
            requests[0].find("<ns4:getLibraryTemplates><ns4:email>anne@example.com</ns4:email>"
                             "<ns4:password>pw</ns4:password></ns4:getLibraryTemplates>"));
}

TEST_F(OslCliTest, AFailedCallShowsTheStatusThenTheFaultReport) {
  CaptureServer server({HttpReply(
      500, "Internal Server Error",
      Envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>Unknown user</faultstring>"
               "</s:Fault>"))});
  Settings("Server:" + server.Url("") + "\nuser:x\npass:y\n");
  const OslRun run = Osl({"templates"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("", run.out);
  const size_t status = run.err.find("[error] error: 12\n");
  const size_t report = run.err.find("[error] \\n\\tSOAP 1.1 \\n\\tfault: SOAP-ENV:Client");
  ASSERT_NE(std::string::npos, status) << run.err;
  ASSERT_NE(std::string::npos, report) << run.err;
  EXPECT_LT(status, report);
  EXPECT_NE(std::string::npos, run.err.find("\"Unknown user\""));
}

TEST_F(OslCliTest, WithoutServerNothingIsCalled) {
  Settings("user:x\n");
  const OslRun run = Osl({"templates"});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find("[error] ")) << run.err;
}

TEST_F(OslCliTest, UploadPrintsTheAssetAddress) {
  CaptureServer server({HttpReply(200, "OK", "http://assets.test/u/photo.jpg")});
  Settings("Server:" + server.Url("") + "\n");
  const std::string file = dir_.Write("local.jpg", "JPEGDATA");
  const OslRun run = Osl({"upload", file, "--name", "photo.jpg"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("http://assets.test/u/photo.jpg\n", run.out);
  const auto requests = server.Requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_NE(std::string::npos, requests[0].find("filename=\"photo.jpg\"\r\n\r\nJPEGDATA\r\n"));
  EXPECT_EQ(0u, requests[0].find("POST /fileUpload.aspx?sessionid="));
}

TEST_F(OslCliTest, UploadNamesTheFileAfterItsPathByDefaultAndFailsWithStatusOne) {
  CaptureServer server({HttpReply(200, "OK", "http://assets.test/a\n")});
  Settings("Server:" + server.Url("") + "\n");
  const std::string file = dir_.Write("report.pdf", "%PDF");
  const OslRun run = Osl({"upload", file});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("http://assets.test/a\n", run.out);
  EXPECT_NE(std::string::npos, server.Requests()[0].find("filename=\"report.pdf\""));

  const OslRun missing = Osl({"upload", dir_.path() + "/absent.pdf"});
  EXPECT_EQ(1, missing.status);
  EXPECT_EQ("", missing.out);
  EXPECT_NE(std::string::npos, missing.err.find("ERROR UploadFile::fopen "));
}

}  // namespace
}  // namespace osl_test

// The plug-in's platform on Windows, against the system itself: the module's
// own path, the temporary and application-data folders, file tests, the
// system code page, the settings file's text mode (CR LF on disk) and the
// readiness of Winsock sockets.
// Winsock's header must come before the system's main header.
#include <winsock2.h>
// Then the rest.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "service_client/platform.h"
#include "service_client/settings_file.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

std::string Utf8(const std::wstring& wide) { return std::filesystem::path(wide).u8string(); }

std::wstring Wide(const std::string& utf8) { return std::filesystem::u8path(utf8).wstring(); }

// The bytes of the file at `path`, read without any translation.
std::string RawBytes(const std::string& path) {
  std::string bytes;
  if (std::FILE* file = _wfopen(Wide(path).c_str(), L"rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    std::fclose(file);
  }
  return bytes;
}

void WriteRaw(const std::string& path, const std::string& bytes) {
  std::FILE* file = _wfopen(Wide(path).c_str(), L"wb");
  ASSERT_NE(nullptr, file);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

// A fresh folder whose name holds characters beyond every single-byte code
// page, removed with everything in it at the end.
class Scratch {
 public:
  Scratch() {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    path_ =
        Utf8(temp) + "osl-platform-\xc3\xbc\xe4\xb8\xad-" + std::to_string(GetCurrentProcessId());
    std::filesystem::create_directories(Wide(path_));
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(Wide(path_), ignored);
  }
  const std::string& path() const { return path_; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Wide(path_))) {
      names.push_back(entry.path().filename().u8string());
    }
    return names;
  }

 private:
  std::string path_;
};

int gAttachCalls = 0;
void CountAttach() { ++gAttachCalls; }

TEST(WindowsPlatformTest, TheModulePathIsRecordedAtProcessAttach) {
  wchar_t own[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  EXPECT_EQ(Utf8(own), OslModulePath());

  // In a program no attach notification comes: the handler runs at once.
  gAttachCalls = 0;
  OslOnLibraryAttach(&CountAttach);
  EXPECT_EQ(1, gAttachCalls);
  // The library entry runs it on process attach only, and answers success
  // for every reason.
  const HINSTANCE self = GetModuleHandleW(nullptr);
  for (DWORD reason : {DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH}) {
    EXPECT_TRUE(DllMain(self, reason, nullptr));
  }
  EXPECT_EQ(1, gAttachCalls);
  EXPECT_TRUE(DllMain(self, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(2, gAttachCalls);
  EXPECT_EQ(Utf8(own), OslModulePath());
  OslOnLibraryAttach(nullptr);
}

TEST(WindowsPlatformTest, FoldersComeFromTheSystem) {
  OslPlatform& platform = OslPlatform::Get();
  wchar_t temp[4096];
  const DWORD n = GetTempPathW(4096, temp);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(Utf8(std::wstring(temp, n)), platform.TempFolder());

  wchar_t appData[MAX_PATH + 1] = {};
  ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData));
  EXPECT_EQ(Utf8(appData), platform.AppDataFolder());
  EXPECT_TRUE(platform.IsDirectory(platform.AppDataFolder()));

  EXPECT_EQ("/logs", platform.LogFolder());
  EXPECT_EQ("c:\\logs\\", platform.FaultNoteFolder());

  // The temporary folder follows TMP, and is none when TMP names no folder.
  const Scratch scratch;
  const std::wstring saved = _wgetenv(L"TMP") ? _wgetenv(L"TMP") : L"";
  SetEnvironmentVariableW(L"TMP", Wide(scratch.path()).c_str());
  EXPECT_EQ(scratch.path() + "\\", platform.TempFolder());
  SetEnvironmentVariableW(L"TMP", Wide(scratch.path() + "\\missing").c_str());
  EXPECT_EQ("", platform.TempFolder());
  SetEnvironmentVariableW(L"TMP", saved.empty() ? nullptr : saved.c_str());
}

TEST(WindowsPlatformTest, FileTestsTellFoldersFilesAndDevicesApart) {
  OslPlatform& platform = OslPlatform::Get();
  const Scratch scratch;
  const std::string file = scratch.path() + "\\f\xc3\xa9.bin";
  WriteRaw(file, "12345");
  struct Case {
    std::string path;
    bool directory;
    bool regular;
    long long size;
  } cases[] = {
      {scratch.path(), true, false, -1},
      {file, false, true, 5},
      {scratch.path() + "\\missing", false, false, -1},
      {"NUL", false, false, -1},
      {"", false, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.directory, platform.IsDirectory(c.path));
    EXPECT_EQ(c.regular, platform.IsReadableRegularFile(c.path));
    EXPECT_EQ(c.size, platform.RegularFileSize(c.path));
  }
}

TEST(WindowsPlatformTest, AWholeFileIsReadBelowItsLimitOnly) {
  OslPlatform& platform = OslPlatform::Get();
  const Scratch scratch;
  const std::string file = scratch.path() + "\\data.bin";
  const std::string content("a\r\nb\0c\x1a", 7);
  WriteRaw(file, content);
  OslFileBytes bytes;
  ASSERT_EQ(OslReadResult::kRead, platform.ReadWholeFile(file, 8, &bytes));
  EXPECT_EQ(content, std::string(bytes.data(), bytes.size()));
  EXPECT_EQ(OslReadResult::kTooLarge, platform.ReadWholeFile(file, 7, &bytes));
  EXPECT_EQ(OslReadResult::kNotRegular, platform.ReadWholeFile(scratch.path(), 8, &bytes));
  EXPECT_EQ(OslReadResult::kNotOpened,
            platform.ReadWholeFile(scratch.path() + "\\missing", 8, &bytes));
}

TEST(WindowsPlatformTest, TextRoundTripsThroughTheSystemCodePage) {
  OslPlatform& platform = OslPlatform::Get();
  std::string out;
  ASSERT_TRUE(platform.ToSystemText("server:http://s.test/ x", &out));
  EXPECT_EQ("server:http://s.test/ x", out);
  EXPECT_EQ("server:http://s.test/ x", platform.FromSystemText(out));
  EXPECT_FALSE(platform.ToSystemText("\xff\xfe", &out)) << "not UTF-8";
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP() << ", not 1252";
  ASSERT_TRUE(platform.ToSystemText("caf\xc3\xa9 \xe2\x82\xac", &out));
  EXPECT_EQ("caf\xe9 \x80", out);
  EXPECT_EQ("caf\xc3\xa9 \xe2\x82\xac", platform.FromSystemText(out));
  EXPECT_FALSE(platform.ToSystemText("\xe4\xb8\xad", &out)) << "no place in code page 1252";
}

TEST(WindowsPlatformTest, TheSettingsFileIsWrittenWithCrLfAndReadWithoutCr) {
  OslPlatform& platform = OslPlatform::Get();
  const Scratch scratch;
  const std::string path = scratch.path() + "\\Osl.cfg";
  WriteRaw(path, "Server:http://old.test\r\n");
  std::string reason;
  ASSERT_TRUE(
      WriteSettingsFile(path, "//begin config file\nServer:http://s.test\nuser:a\n", &reason))
      << reason;
  EXPECT_EQ("//begin config file\r\nServer:http://s.test\r\nuser:a\r\n", RawBytes(path));
  EXPECT_EQ(std::vector<std::string>{"Osl.cfg"}, scratch.Names()) << "no file left beside it";
  std::string text;
  ASSERT_TRUE(platform.ReadTextFileStart(path, 10024, &text));
  EXPECT_EQ("//begin config file\nServer:http://s.test\nuser:a\n", text);
  ASSERT_TRUE(platform.ReadTextFileStart(path, 10, &text));
  EXPECT_EQ("//begin co", text);
  EXPECT_FALSE(platform.ReadTextFileStart(scratch.path() + "\\missing.cfg", 10, &text));

  // A folder that is missing takes no file: the reason names it.
  EXPECT_FALSE(WriteSettingsFile(scratch.path() + "\\no\\Osl.cfg", "x\n", &reason));
  EXPECT_NE(std::string::npos, reason.find("cannot create a file in " + scratch.path() + "\\no"))
      << reason;
}

// A connected pair of loopback sockets.
class SocketPair {
 public:
  SocketPair() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    client_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(client_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    server_ = accept(listener, nullptr, nullptr);
    closesocket(listener);
  }
  ~SocketPair() {
    closesocket(client_);
    closesocket(server_);
    WSACleanup();
  }
  OslSocket client() const { return static_cast<OslSocket>(client_); }
  SOCKET server() const { return server_; }

 private:
  SOCKET client_ = INVALID_SOCKET;
  SOCKET server_ = INVALID_SOCKET;
};

TEST(WindowsPlatformTest, SocketsAreWaitedForAndPeekedWithoutWaiting) {
  OslPlatform& platform = OslPlatform::Get();
  const SocketPair pair;
  ASSERT_NE(INVALID_SOCKET, pair.server());
  char line[12];
  EXPECT_EQ(0, platform.WaitReadable(pair.client(), 50));
  EXPECT_EQ(-1, platform.PeekWaiting(pair.client(), line, sizeof line)) << "nothing waits";

  const char reply[] = "HTTP/1.1 413 Too Large";
  ASSERT_EQ(static_cast<int>(sizeof reply - 1), send(pair.server(), reply, sizeof reply - 1, 0));
  EXPECT_EQ(1, platform.WaitReadable(pair.client(), 5000));
  ASSERT_EQ(12, platform.PeekWaiting(pair.client(), line, sizeof line));
  EXPECT_EQ("HTTP/1.1 413", std::string(line, sizeof line));
  // Peeked bytes stay for the reader.
  char all[64];
  EXPECT_EQ(static_cast<int>(sizeof reply - 1),
            recv(static_cast<SOCKET>(pair.client()), all, sizeof all, 0));

  EXPECT_TRUE(platform.IsConnectionClosedError(WSAECONNRESET));
  EXPECT_TRUE(platform.IsConnectionClosedError(WSAECONNABORTED));
  EXPECT_FALSE(platform.IsConnectionClosedError(WSAEWOULDBLOCK));
  EXPECT_EQ(0, platform.SocketFlags());
}

}  // namespace

#include "service_client/plugin_data.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>

#include "host/CAlert.h"
#include "host/FileUtils.h"
#include "host/IDFile.h"
#include "host/IPlugInList.h"
#include "host/ISession.h"
#include "host/InterfacePtr.h"
#include "service_client/platform.h"
#include "service_client/settings_file.h"

namespace {

const char kUploadPath[] = "/fileUpload.aspx?sessionid=";
const char kTemplatePath[] = "/services/templateMgr.svc";
const char kDocumentPath[] = "/services/builddoc.asmx";
const char kUnsavableNote[] =
    "\nNot saved: the server, user or password holds a line break or a NUL character, which "
    "the settings file cannot keep. The file is unchanged.";
const char kNotInCodePageNote[] =
    "\nNot saved: the server, user or password holds a character that the system's code page "
    "cannot write. The file is unchanged.";
const char kTooLongNote[] =
    "\nNot saved: the server, user and password together are too long for the settings file "
    "to be read back whole. The file is unchanged.";

// Whether `value` reads back unchanged as the rest of one settings line.
bool FitsOnOneLine(const std::string& value) {
  return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

PMString Literal(const std::string& utf8) {
  return PMString(utf8, PMString::kDontTranslateDuringCall);
}

bool EndsWith(const PMString& text, const PMString& tail) {
  return text.CharCount() >= tail.CharCount() &&
         text.Substring(text.CharCount() - tail.CharCount()) == tail;
}

OslPlugInData gOslPlugInData;

// The generator state of NewOslSessionId.
int32 gSessionState = static_cast<int32>(0xFACEB00Bu);

}  // namespace

OslPlugInData& GetOslPlugInData() { return gOslPlugInData; }

PMString NewOslSessionId() {
  const uint32 r1 = static_cast<uint32>(static_cast<uint64>(std::time(nullptr)));
  // Minimal standard step (Schrage), in 64 bits so nothing overflows.
  const int64 k = gSessionState;
  const int64 lo = k % 127773;
  const int64 hi = k / 127773;
  int64 next = 16807 * lo - 2836 * hi;
  if (next <= 0) next += 0x7FFFFFFF;
  // Any extra value will do here; a random device keeps identifiers of
  // processes started in the same second apart.
  uint32 extra = 0;
  try {
    std::random_device device;
    extra = static_cast<uint32>(device());
  } catch (...) {
    // No random device: the other parts still vary.
  }
  const uint32 r2 = static_cast<uint32>(next) + extra;
  gSessionState = static_cast<int32>(static_cast<uint32>(next) & 0x8FFFFFFFu);
  const uint32 r3 = static_cast<uint32>(std::rand());
  const uint32 r4 = static_cast<uint32>(std::rand());

  char text[64];
  std::snprintf(text, sizeof text, "urn:uuid:%8.8" PRIx32 "-%4.4x-4%3.3x-%4.4x-%4.4x%8.8" PRIx32,
                r1, static_cast<unsigned>(r2 >> 16), static_cast<unsigned>((r2 & 0xFFFFu) >> 4),
                static_cast<unsigned>(((r3 >> 16) & 0x3FFFu) | 0x8000u),
                static_cast<unsigned>(r3 & 0xFFFFu), r4);
  const std::string urn(text);
  return Literal(urn.substr(urn.rfind(':') + 1));
}

bool OslPlugInData::LocateSettingsFile() {
  ISession* session = GetExecutionContextSession();
  InterfacePtr<IPlugInList> plugins(session, IID_IPLUGINLIST);
  if (!plugins) return false;
  IDFile file;
  if (!plugins->GetPathName(kOslSettingsPluginID, &file) || file.IsEmpty()) return false;

  settingsPath = file.GetString();
  // Each suffix is removed at its first occurrence, wherever it stands (a
  // folder named "x.sdk" loses it too), searching the path as it is now.
  for (const char* suffix : {".pln", ".tolvanplugin", ".sdk"}) {
    PMString lower = settingsPath;
    lower.ToLower();
    const PMString what = Literal(suffix);
    const int32 at = lower.IndexOfString(what);
    if (at != PMString::kNotFound) settingsPath.Remove(at, what.CharCount());
  }
  settingsPath.Append(Literal(".cfg"));
  return true;
}

void OslPlugInData::ReadSettingsFile() {
  // Text mode: on Windows each CR LF arrives as LF; every other CR is
  // dropped below, so a file with either line end reads the same anywhere.
  OslPlatform& platform = OslPlatform::Get();
  std::string content;
  if (!platform.ReadTextFileStart(settingsPath.GetPlatformString(), kOslSettingsReadLimit,
                                  &content)) {
    return;
  }

  std::string line;
  bool dropped = false;  // too long, or holds a NUL byte
  auto finish = [&] {
    if (!dropped) ParseSettingsLine(Literal(platform.FromSystemText(line)));
    line.clear();
    dropped = false;
  };
  for (char c : content) {
    if (c == '\r') continue;
    if (c == '\n') {
      finish();
    } else if (c == '\0') {
      dropped = true;  // a value cut at the NUL would be a different value
    } else if (line.size() < kOslSettingsLineLimit) {
      line += c;
    } else {
      dropped = true;  // the whole line is dropped rather than cut short
    }
  }
  if (!line.empty()) finish();
}

void OslPlugInData::LoadSettings() {
  if (loaded) return;
  sessionId = NewOslSessionId();
  if (!LocateSettingsFile()) return;
  ReadSettingsFile();

  if (server.IsEmpty()) {
    const int32 at = uploadUrl.IndexOfString(Literal(kUploadPath));
    if (at != PMString::kNotFound) {
      server = uploadUrl.Substring(0, at);
      BuildEndpoints();
      SaveSettings();
    }
  } else {
    BuildEndpoints();
  }
  loaded = 1;
}

bool OslPlugInData::IsConfigured() {
  LoadSettings();
  return !server.IsEmpty();
}

PMString OslPlugInData::GetSessionId() {
  LoadSettings();
  return sessionId;
}

void OslPlugInData::BuildEndpoints() {
  uploadUrl = server + Literal(kUploadPath);
  templateEndpoint = server + Literal(kTemplatePath);
  documentEndpoint = server + Literal(kDocumentPath);
}

void OslPlugInData::SaveSettings() {
  const std::string path = settingsPath.GetPlatformString();
  const std::string values[] = {uploadUrl.GetPlatformString(),
                                templateEndpoint.GetPlatformString(),
                                documentEndpoint.GetPlatformString(),
                                server.GetPlatformString(),
                                user.GetPlatformString(),
                                password.GetPlatformString()};
  for (const std::string& value : values) {
    if (!FitsOnOneLine(value)) {
      CAlert::ErrorAlert(Literal(path + kUnsavableNote));
      return;
    }
  }
  const std::string text = "//begin config file\n//UploadURL:" + values[0] +
                           "\n//EndPoint:" + values[1] + "\n//EndPointDoc:" + values[2] +
                           "\nServer:" + values[3] + "\nuser:" + values[4] + "\npass:" + values[5] +
                           "\n";
  // The file is in the system code page; a value it cannot hold would come
  // back as another value.
  std::string fileText;
  if (!OslPlatform::Get().ToSystemText(text, &fileText)) {
    CAlert::ErrorAlert(Literal(path + kNotInCodePageNote));
    return;
  }
  // Only the first kOslSettingsReadLimit bytes are ever read: a longer file
  // would lose its last lines (the password first) on the next load.
  if (fileText.size() > kOslSettingsReadLimit) {
    CAlert::ErrorAlert(Literal(path + kTooLongNote));
    return;
  }
  // The file holds a password: it is private, and replaced whole or not at all.
  std::string reason;
  if (!WriteSettingsFile(path, fileText, &reason)) {
    CAlert::ErrorAlert(Literal(path + "\nNot saved: " + reason + "."));
  }
}

void OslPlugInData::ParseSettingsLine(const PMString& line) {
  struct Key {
    const char* name;
    PMString OslPlugInData::*member;
  };
  static const Key kKeys[] = {
      {"uploadurl:", &OslPlugInData::uploadUrl},
      {"user:", &OslPlugInData::user},
      {"pass:", &OslPlugInData::password},
      {"endpoint:", &OslPlugInData::templateEndpoint},
      {"endpointdoc:", &OslPlugInData::documentEndpoint},
      {"action:", &OslPlugInData::action},
      {"server:", &OslPlugInData::server},
  };
  PMString lower = line;
  lower.ToLower();
  for (const Key& key : kKeys) {
    const PMString name = Literal(key.name);
    if (lower.IndexOfString(name) == 0) {
      PMString value = line.Substring(name.CharCount());
      value.SetTranslatable(false);
      this->*key.member = value;
      return;
    }
  }
}

PMString GetWorkFolder(const PMString& subfolder) {
  OslPlatform& platform = OslPlatform::Get();
  std::string base = platform.TempFolder();
  if (base.empty()) base = platform.AppDataFolder();
  if (base.empty()) {
    CAlert::ErrorAlert(Literal("No application folder."));
    return PMString();
  }
  PMString path = Literal(base);
  const PMString separator = FileUtils::GetDirectorySeperator();
  if (!EndsWith(path, separator)) path.Append(separator);
  path.Append(subfolder);
  (void)FileUtils::CreateFolderIfNeeded(IDFile(path.GetPlatformString()), true);
  if (!EndsWith(path, separator)) path.Append(separator);
  path.SetTranslatable(false);
  return path;
}

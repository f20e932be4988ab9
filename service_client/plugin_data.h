// The plug-in's connection settings and session: one process-wide object,
// filled lazily from the settings file beside the plug-in file (Osl.pln gives
// Osl.cfg), plus the per-process session identifier that names the upload
// session and the work folder of a publish run.
//
// Settings file format (platform encoding, one "key:value" per line, keys
// matched case-insensitively at the line start, values taken as written):
//   //begin config file
//   //UploadURL:<upload address>        (comment: rebuilt from Server:)
//   //EndPoint:<template manager>       (comment)
//   //EndPointDoc:<document builder>    (comment)
//   Server:<base address>
//   user:<user name>
//   pass:<password, clear text>
// Older files may carry "uploadurl:", "endpoint:", "endpointdoc:" and
// "action:" lines; they are read as described at LoadSettings.
#pragma once

#include <string>

#include "host/BaseTypes.h"
#include "host/PMString.h"

// The plug-in's identifier in the host's plug-in list.
constexpr PluginID kOslSettingsPluginID = 0x199E00;

// Bytes of the settings file that are read; the rest is ignored.
constexpr size_t kOslSettingsReadLimit = 10024;
// The longest settings line kept; a longer one is ignored whole, and so is a
// line that holds a NUL byte (its value could not be kept whole).
constexpr size_t kOslSettingsLineLimit = 10023;

class OslPlugInData {
 public:
  OslPlugInData() = default;
  OslPlugInData(const OslPlugInData&) = delete;
  OslPlugInData& operator=(const OslPlugInData&) = delete;

  // Loads the settings once: a new session identifier, the settings file
  // located from the plug-in list's path of this plug-in, its lines, then the
  // derived endpoints. When the plug-in path is unknown nothing is read and
  // the next call tries again. A file that cannot be opened counts as empty.
  // A file with no server but an old-style upload address gets its server
  // from that address and is rewritten in the current format; a file with a
  // server has its endpoints rebuilt from it.
  void LoadSettings();
  // LoadSettings, then true when a server is set.
  bool IsConfigured();
  // LoadSettings, then a copy of the session identifier (empty while the
  // plug-in path is unknown).
  PMString GetSessionId();
  // Derives uploadUrl, templateEndpoint and documentEndpoint from server by
  // plain concatenation (no slash added or removed).
  void BuildEndpoints();
  // Rewrites the settings file at settingsPath (created readable and
  // writable by its owner only; a symbolic link is written through to its
  // target; see service_client/settings_file.h). When the file cannot be written,
  // shows an error alert whose first line is the path and whose second says
  // "Not saved: " and the system's reason. When a value to be written holds a CR,
  // LF or NUL character (it would not read back as the same value on the same
  // line), or when the file would be longer than the part of it that is
  // read (kOslSettingsReadLimit), nothing is written: the file stays as it
  // was and an error alert shows the path and says why. In every case the
  // members keep their values. The file is replaced atomically: a failed
  // write leaves the previous file whole.
  void SaveSettings();
  // Assigns the value of one settings line (no line end) to its member; a
  // line that starts with no known key is ignored.
  void ParseSettingsLine(const PMString& line);

  int32 dialogResult = 0;  // template properties dialog: 0 none, 1 OK, 2 OK with refresh
  PMString user;
  PMString password;
  PMString server;
  PMString templateEndpoint;
  PMString documentEndpoint;
  PMString action;  // read from old files, never written, never used
  PMString uploadUrl;
  bool16 loaded = 0;
  PMString sessionId;
  PMString settingsPath;

 private:
  bool LocateSettingsFile();
  void ReadSettingsFile();
};

// The process-wide instance (static lifetime, constructed at load).
OslPlugInData& GetOslPlugInData();

// A new session identifier: 36 lower-case hexadecimal digits and dashes in
// the 8-4-4-4-12 form, third group starting with "4", fourth with 8, 9, a
// or b. Uses the time, a process-wide generator state and rand().
PMString NewOslSessionId();

// The work folder `subfolder` under the system's temporary folder (or, when
// there is none, the user's application-data folder), created when missing
// and returned with a trailing separator. When neither folder exists, shows
// the error alert "No application folder." and returns an empty string.
PMString GetWorkFolder(const PMString& subfolder);

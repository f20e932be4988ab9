// PDF export: the session's presets, the command that makes a preset's
// settings the current ones, and the export providers.
#pragma once

#include "HostInterfaceIDs.h"
#include "IDFile.h"
#include "IDocument.h"
#include "IPMUnknown.h"
#include "PMString.h"

// A set of PDF export settings (a preset's, the session's current ones, or
// a command's data).
class IPDFExportPrefs : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IPDFEXPORTPREFS };
  // Makes these settings a copy of `other`.
  virtual void CopyPrefs(const IPDFExportPrefs* other) = 0;
  // The name of the preset the settings came from (empty when none).
  virtual PMString GetPresetName() const = 0;
  virtual ~IPDFExportPrefs() = default;
};

// On the session boss: the PDF export presets, in list order.
class IPDFExptStyleListMgr : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IPDFEXPTSTYLELISTMGR };
  virtual int32 GetNumStyles() const = 0;
  // The name of preset `index`; kFailure outside the list.
  virtual ErrorCode GetNthStyleName(int32 index, PMString* name) const = 0;
  // The settings of preset `index` with a reference added, or null (outside
  // the list, or a preset without settings).
  virtual IPDFExportPrefs* QueryNthStyle(int32 index) const = 0;
  virtual ~IPDFExptStyleListMgr() = default;
};

// The command boss that makes its IPDFExportPrefs the session's current
// PDF export settings (CmdUtils::CreateCommand). The session boss carries
// the current settings as its IPDFExportPrefs; exports use them.
constexpr ClassID kSetPDFExportPrefsCmdBoss = 0x5C100;

// Export providers are services (IServiceRegistry, kExportProviderService);
// each offers this interface on its provider boss.
class IExportProvider : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IEXPORTPROVIDER };
  // True when the provider can export `document` (with `selection`, which
  // may be null) in `format`.
  virtual bool16 CanExportThisFormat(IDocument* document, IPMUnknown* selection,
                                     const PMString& format) const = 0;
  // Exports `document` to `file` in `format` with the session's current
  // settings of that format. kSuccess when the file was written whole;
  // otherwise an error code, and `file` is not left half-written. UI flag 0
  // shows no dialog.
  virtual ErrorCode ExportToFile(const IDFile& file, IDocument* document, IPMUnknown* selection,
                                 const PMString& format, int32 uiFlags) = 0;
  virtual ~IExportProvider() = default;
};

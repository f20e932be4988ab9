// A Windows host's view of Osl.pln: loaded with LoadLibraryW from the test
// program's folder (beside the test host's DLL), entered through GetPlugIn,
// asked for its resource file and its implementations, and read for its
// embedded resources and its export table.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "host/IPlugIn.h"
#include "host/ISession.h"

namespace {

constexpr PluginID kOslPluginID = 0x199E00;

std::wstring ProgramFolder() {
  std::vector<wchar_t> path(32768);
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::wstring folder(path.data(), n);
  return folder.substr(0, folder.find_last_of(L'\\'));
}

// The module's path as the plug-in keeps it: system code page text.
std::string ModulePath(HMODULE module) {
  std::vector<wchar_t> path(32768);
  const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
  const int bytes = WideCharToMultiByte(CP_ACP, 0, path.data(), static_cast<int>(n), nullptr, 0,
                                        nullptr, nullptr);
  std::string narrow(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, path.data(), static_cast<int>(n), narrow.data(), bytes, nullptr,
                      nullptr);
  return narrow;
}

// An exported function of `module` as type F (null when it is missing).
template <class F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class RecordingRegistration : public IRegistration {
 public:
  IPMUnknown* QueryInterface(PMIID) const override { return nullptr; }
  void AddRef() const override {}
  void Release() const override {}
  ErrorCode RegisterImplementation(PluginID plugin, ImplementationID impl, ImplCreateFn create,
                                   ImplDestroyFn destroy, ImplSizeFn size, void*, void*,
                                   void*) override {
    records.push_back({plugin, impl, create != nullptr && destroy != nullptr && size != nullptr});
    return kSuccess;
  }
  struct Record {
    PluginID plugin;
    ImplementationID impl;
    bool complete;
  };
  std::vector<Record> records;
};

class RecordingSession : public ISession {
 public:
  IPMUnknown* QueryInterface(PMIID iid) const override {
    if (iid != IID_IREGISTRATION) return nullptr;
    return const_cast<RecordingRegistration*>(&registration);
  }
  void AddRef() const override {}
  void Release() const override {}
  RecordingRegistration registration;
};

// The names the DLL's export directory lists.
std::vector<std::string> ExportedNames(HMODULE module) {
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::vector<std::string> names;
  if (dir.VirtualAddress == 0) return names;
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    names.emplace_back(reinterpret_cast<const char*>(base + rvas[i]));
  }
  if (exports->NumberOfFunctions != exports->NumberOfNames) names.emplace_back("(unnamed)");
  return names;
}

class WindowsPlugInLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW((ProgramFolder() + L"\\Osl.pln").c_str());
    ASSERT_NE(module_, nullptr) << "LoadLibraryW(Osl.pln) failed, error " << GetLastError();
  }
  // The plug-in stays loaded for the life of the process, as in the host.
  HMODULE module_ = nullptr;
};

TEST_F(WindowsPlugInLoading, IsAPE32PlusDllExportingOnlyGetPlugIn) {
  const auto* base = reinterpret_cast<const uint8_t*>(module_);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  EXPECT_NE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL, 0);
  EXPECT_EQ(ExportedNames(module_), std::vector<std::string>{"GetPlugIn"});
  // Nothing of MinGW's runtime is loaded beside it.
  for (const char* dll : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}) {
    EXPECT_EQ(GetModuleHandleA(dll), nullptr) << dll << " is loaded";
  }
}

TEST_F(WindowsPlugInLoading, GetPlugInAnswersWithItsOwnPathAndSixteenImplementations) {
  auto get = Export<GetPlugInFn>(module_, "GetPlugIn");
  ASSERT_NE(get, nullptr);
  IPlugIn* plugin = get();
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(get(), plugin);
  EXPECT_TRUE(plugin->CanLoad());
  EXPECT_TRUE(plugin->IsValid());
  EXPECT_FALSE(plugin->CanUnload());
  EXPECT_TRUE(plugin->IsRequired());
  EXPECT_EQ(plugin->GetPluginID(), 0u);
  plugin->SetPluginID(kOslPluginID);
  EXPECT_EQ(plugin->GetPluginID(), kOslPluginID);
  // The library entry recorded the DLL's own path.
  const std::string own = ModulePath(module_);
  ASSERT_GT(own.size(), 8u);
  EXPECT_EQ(plugin->GetResourceFile().GetPath(), own);

  // Without a session nothing is registered and nothing breaks.
  auto setSession =
      Export<void (*)(ISession*)>(GetModuleHandleA(OSL_HOST_DLL), "OslTestHostSetSession");
  ASSERT_NE(setSession, nullptr);
  setSession(nullptr);
  plugin->RegisterImplementations(kOslPluginID);

  RecordingSession session;
  setSession(&session);
  plugin->RegisterImplementations(kOslPluginID);
  setSession(nullptr);
  std::set<ImplementationID> registered;
  for (const auto& record : session.registration.records) {
    EXPECT_EQ(record.plugin, kOslPluginID);
    EXPECT_TRUE(record.complete) << std::hex << record.impl;
    registered.insert(record.impl);
  }
  EXPECT_EQ(session.registration.records.size(), 16u);
  EXPECT_EQ(registered.size(), 16u);

  // They are exactly the implementations the embedded resources declare.
  HRSRC found = FindResourceW(module_, L"OSL_RESOURCES", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  ASSERT_NE(found, nullptr);
  const char* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
  const nlohmann::json resources =
      nlohmann::json::parse(std::string(data, SizeofResource(module_, found)));
  EXPECT_EQ(resources["plugin"]["id"], "0x199E00");
  std::set<ImplementationID> declared;
  for (const auto& boss : resources["bosses"]) {
    for (const auto& entry : boss["interfaces"]) {
      declared.insert(static_cast<ImplementationID>(
          std::stoul(entry["impl"].get<std::string>(), nullptr, 16)));
    }
  }
  EXPECT_EQ(registered, declared);
}

}  // namespace

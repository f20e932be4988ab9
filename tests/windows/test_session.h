// A host session for the test programs built in both builds: the plug-in list
// answers one path for the plug-in for as long as the object lives. On
// Windows it is installed in the test host's DLL (OslTestHostSetSession); on
// Linux a stand-in host is made and its session given the path.
#pragma once

#include <string>

#include "host/IPlugInList.h"
#include "host/ISession.h"
#ifndef _WIN32
#include "standin/app/host.h"
#endif

namespace osltest {

class TestSession : public ISession {
 public:
  // `pluginPath`: the file the plug-in list names for the plug-in (its
  // settings file is beside it).
  explicit TestSession(std::string pluginPath);
  ~TestSession() override;
  TestSession(const TestSession&) = delete;
  TestSession& operator=(const TestSession&) = delete;

  IPMUnknown* QueryInterface(PMIID iid) const override;
  void AddRef() const override {}
  void Release() const override {}

 private:
  class PlugInList : public IPlugInList {
   public:
    explicit PlugInList(std::string path) : path_(std::move(path)) {}
    IPMUnknown* QueryInterface(PMIID) const override { return nullptr; }
    void AddRef() const override {}
    void Release() const override {}
    bool GetPathName(PluginID id, IDFile* file) const override;

   private:
    std::string path_;
  };
  PlugInList plugins_;
#ifndef _WIN32
  standin::Host host_;
#endif
};

}  // namespace osltest

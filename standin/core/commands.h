// Commands of the stand-in: the command classes a host knows (by class
// identifier) and the command objects CmdUtils hands out. A command is a
// boss that carries ICommand and the data interfaces its caller fills; it
// is destroyed when its last reference is released.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "host/CPMUnknown.h"
#include "host/CmdUtils.h"
#include "standin/core/boss.h"

namespace standin {

// A boss that deletes itself when its last reference goes.
class CommandBoss : public Boss {
 public:
  using Boss::Boss;
  void Release() const override;
};

// The ICommand of a command boss: what the command does when processed.
class Command : public CPMUnknown<ICommand> {
 public:
  using CPMUnknown::CPMUnknown;
  // kSuccess, or an error code (and then the command changed nothing).
  virtual ErrorCode Do() = 0;
};

class CommandRegistry {
 public:
  // Fills a new command boss: adds its Command (under IID_ICOMMAND) and its
  // data interfaces.
  using Builder = std::function<void(CommandBoss& boss)>;

  // Makes `commandClass` known; a later call for the same class replaces
  // the earlier one.
  void Register(ClassID commandClass, Builder builder) {
    builders_[commandClass] = std::move(builder);
  }
  // A new command of `commandClass` with one reference added, or null when
  // the class is unknown.
  ICommand* Create(ClassID commandClass) const;
  // Runs `command`: kSuccess, or the command's error code (kFailure for an
  // object that is not one of this host's commands).
  static ErrorCode Process(ICommand* command);

 private:
  std::map<ClassID, Builder> builders_;
};

}  // namespace standin

#include "standin/core/commands.h"

namespace standin {

void CommandBoss::Release() const {
  Boss::Release();
  if (RefCount() <= 0) delete this;
}

ICommand* CommandRegistry::Create(ClassID commandClass) const {
  auto it = builders_.find(commandClass);
  if (it == builders_.end()) return nullptr;
  auto* boss = new CommandBoss("kCommandBoss");
  it->second(*boss);
  IPMUnknown* command = boss->QueryInterface(IID_ICOMMAND);
  if (!command) {
    delete boss;
    return nullptr;
  }
  return static_cast<ICommand*>(command);
}

ErrorCode CommandRegistry::Process(ICommand* command) {
  auto* impl = dynamic_cast<Command*>(command);
  return impl ? impl->Do() : kFailure;
}

}  // namespace standin

#include "standin/core/command_state.h"

namespace standin {

void CommandState::BeginSequence() {
  if (depth_++ == 0) globalError_ = kSuccess;
  ++opened_;
}

void CommandState::EndSequence() {
  if (depth_ > 0 && --depth_ == 0) globalError_ = kSuccess;
}

}  // namespace standin

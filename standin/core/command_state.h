// Command sequences and the global error code of one host.
#pragma once

#include "host/BaseTypes.h"

namespace standin {

class CommandState {
 public:
  // Opens a sequence; the outermost one clears the global error code.
  void BeginSequence();
  // Closes a sequence; closing the outermost one clears the error code.
  void EndSequence();
  void SetGlobalError(ErrorCode code) { globalError_ = code; }
  ErrorCode GlobalError() const { return globalError_; }
  // How many sequences are open now, and how many were ever opened.
  int Depth() const { return depth_; }
  int Opened() const { return opened_; }

 private:
  ErrorCode globalError_ = kSuccess;
  int depth_ = 0;
  int opened_ = 0;
};

}  // namespace standin

// Command sequences and the global error code.
#include "standin/runtime/commands.h"

#include "host/CmdUtils.h"

namespace {
ErrorCode gGlobalError = kSuccess;
int gDepth = 0;
int gSequencesOpened = 0;
}  // namespace

void ErrorUtils::PMSetGlobalErrorCode(ErrorCode code) { gGlobalError = code; }
ErrorCode ErrorUtils::PMGetGlobalErrorCode() { return gGlobalError; }

CmdUtils::SequenceContext::SequenceContext(const PMString*) {
  if (gDepth++ == 0) gGlobalError = kSuccess;
  ++gSequencesOpened;
}

CmdUtils::SequenceContext::~SequenceContext() {
  if (--gDepth == 0) gGlobalError = kSuccess;
}

namespace standin {
int SequenceDepth() { return gDepth; }
int SequencesOpened() { return gSequencesOpened; }
}  // namespace standin

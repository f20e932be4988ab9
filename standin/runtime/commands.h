// Inspection of command sequences, for tests.
#pragma once

namespace standin {
// How many sequences are open now.
int SequenceDepth();
// How many sequences were opened since the process started.
int SequencesOpened();
}  // namespace standin

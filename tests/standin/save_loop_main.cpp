// A test program: loads the document named on the command line, prints
// "ready", then changes the document's label and saves it, again and again,
// printing "saved N" after save N, until it is killed. Exit status 1 (with a reason on stderr) when
// a load or save fails, 2 for a wrong command line.
#include <cstdio>
#include <string>

#include "standin/core/file_system.h"
#include "standin/document/document.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tlvd_save_loop DOC\n");
    return 2;
  }
  standin::FileSystem files;
  std::string error;
  auto doc = standin::Document::Load(argv[1], files, &error);
  if (!doc) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (unsigned long generation = 1;; ++generation) {
    const std::string label = "docName:::generation " + std::to_string(generation) + "|||";
    doc->SetLabel(WideString(label.c_str()));
    if (!doc->Save(files, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    std::printf("saved %lu\n", generation);
    std::fflush(stdout);
  }
}

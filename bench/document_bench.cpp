// Load and save of a large .tlvd through the stand-in's document model
// (standin/document/document.h) against the same file parsed and dumped by
// the JSON library alone, with the same file reading and atomic writing, so
// the difference is what the model adds.
//   osl_bench_document DOC.tlvd [google benchmark options]
// Saving writes DOC.tlvd.out beside DOC (removed at the end).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "standin/app/host.h"
#include "standin/core/file_system.h"
#include "standin/document/document.h"

namespace {

std::string gPath;
std::string gOutPath;

void BM_TlvdLoad(benchmark::State& state) {
  standin::FileSystem files;
  for (auto _ : state) {
    std::string error;
    auto doc = standin::Document::Load(gPath, files, &error);
    if (!doc) {
      state.SkipWithError(error.c_str());
      break;
    }
    benchmark::DoNotOptimize(doc.get());
  }
}

void BM_JsonParse(benchmark::State& state) {
  standin::FileSystem files;
  for (auto _ : state) {
    std::string text, error;
    if (!files.ReadFile(gPath, &text, &error, standin::Document::kMaxDocumentBytes)) {
      state.SkipWithError(error.c_str());
      break;
    }
    nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_discarded()) {
      state.SkipWithError("invalid JSON");
      break;
    }
    benchmark::DoNotOptimize(parsed);
  }
}

void BM_TlvdSave(benchmark::State& state) {
  standin::FileSystem files;
  std::string error;
  standin::FileSystem reader;
  std::string text;
  reader.ReadFile(gPath, &text, &error);
  auto doc = standin::Document::FromJson(nlohmann::json::parse(text), gOutPath, &error);
  if (!doc) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    if (!doc->Save(files, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
}

void BM_JsonDump(benchmark::State& state) {
  standin::FileSystem files;
  std::string text, error;
  files.ReadFile(gPath, &text, &error);
  const nlohmann::json parsed = nlohmann::json::parse(text);
  for (auto _ : state) {
    if (!files.WriteFileAtomic(gOutPath, parsed.dump(2) + "\n", &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
}

BENCHMARK(BM_TlvdLoad)->Name("tlvd/load")->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonParse)->Name("json/parse")->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TlvdSave)->Name("tlvd/save")->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonDump)->Name("json/dump")->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DOC.tlvd [benchmark options]\n", argv[0]);
    return 2;
  }
  gPath = argv[1];
  gOutPath = gPath + ".out";
  standin::Host host;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(gOutPath.c_str());
  return 0;
}

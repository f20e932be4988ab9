// getFields and setFields with 10,000 field records through the plug-in's
// service client (service/service_calls.h) against a running osl-service,
// by one client and by 20 clients at once.
//   osl_bench_service_calls [--records N] [google benchmark options]
// Starts its own osl-service (beside this program) on a loopback port with a
// fresh data folder and a 64 MiB SOAP request limit (a setFields of 10,000
// records is larger than the default 16 MiB), creates one template per
// client, and prints Google
// Benchmark's table; items_per_second is field records per second over all
// clients.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "service_client/messages.h"
#include "service_client/service_calls.h"
#include "tests/service_client/test_support.h"
#include "tests/support/subprocess.h"

namespace {

using namespace osl_soap;

constexpr int kClients = 20;
const char kUser[] = "bench@example.org";
const char kPassword[] = "bench-password";
const char kZeroGuid[] = "00000000-0000-0000-0000-000000000000";

struct Template {
  std::string id;
  std::string password;
};

int gRecords = 10000;
std::string gEndpoint;
std::vector<Template> gTemplates;  // one per client

// The records a publish of a large document sends: named text and image
// fields with a rectangle, page, prompt and group.
struct FieldSet {
  explicit FieldSet(int count) : infos(count), names(count), rects(count), prompts(count) {
    for (int i = 0; i < count; ++i) {
      names[i] = "Field" + std::to_string(i);
      rects[i] = std::to_string(10 + i % 500) + "," + std::to_string(20 + i % 700) + ",180,24";
      prompts[i] = "Prompt for field " + std::to_string(i);
      OstrFieldInfo& info = infos[i];
      info.fieldName = &names[i];
      info.pdfRect = &rects[i];
      info.promptText = &prompts[i];
      info.pageNumber = 1 + i / 20;
      info.controlType =
          i % 5 == 0 ? ns2__enumControlType__stdImageUpload : ns2__enumControlType__textBox;
      info.zOrder = i;
      info.logicGroupID = i % 7 == 0 ? 1 + i % 3 : 0;
      info.maxLength = 64;
      array.OstrFieldInfo.push_back(&info);
    }
  }
  std::vector<OstrFieldInfo> infos;
  std::vector<std::string> names, rects, prompts;
  ArrayOfOstrFieldInfo array;
};

template <class Request>
void Identify(Request* request, const Template& which) {
  request->userEmail = kUser;
  request->userPassword = kPassword;
  request->docCode = which.id;
  request->docPassword = which.password;
}

// Creates template number `number`. Each gets a name of its own: the service creates no new
// template under the name of one of the account's templates that was never committed.
bool CreateTemplate(int number, Template* out) {
  OslSoapContext context;
  _ns2__setTemplate set;
  set.userEmail = kUser;
  set.userPassword = kPassword;
  libraryTemplate info;
  std::string name = "Bench template " + std::to_string(number);
  info.docName = &name;
  info.docID = kZeroGuid;
  info.docPassword = kZeroGuid;
  info.isActive = true;
  info.docPageCount = 500;
  info.docWidth = "612";
  info.docHeight = "792";
  info.docBleed = "0";
  set.templateInfo = &info;
  _ns2__setTemplateResponse created;
  if (CallSetTemplate(context.get(), gEndpoint.c_str(), nullptr, &set, created) != 0 ||
      !created.setTemplateResult) {
    std::fprintf(stderr, "setTemplate: %s\n", FormatSoapFaultReport(context.get()).c_str());
    return false;
  }
  out->id = created.setTemplateResult->docID;
  out->password = created.setTemplateResult->docPassword;
  return true;
}

bool SetFields(const Template& which, FieldSet& fields, size_t* answered) {
  OslSoapContext context;
  _ns2__setFields request;
  Identify(&request, which);
  request.docFields = &fields.array;
  request.deleteOthers = true;
  _ns2__setFieldsResponse response;
  if (CallSetFields(context.get(), gEndpoint.c_str(), nullptr, &request, response) != 0) {
    std::fprintf(stderr, "setFields: %s\n", FormatSoapFaultReport(context.get()).c_str());
    return false;
  }
  *answered = response.setFieldsResult ? response.setFieldsResult->OstrFieldInfo.size() : 0;
  return true;
}

bool GetFields(const Template& which, size_t* received) {
  OslSoapContext context;
  _ns2__getFields request;
  Identify(&request, which);
  _ns2__getFieldsResponse response;
  if (CallGetFields(context.get(), gEndpoint.c_str(), nullptr, &request, response) != 0) {
    std::fprintf(stderr, "getFields: %s\n", FormatSoapFaultReport(context.get()).c_str());
    return false;
  }
  *received = response.getFieldsResult ? response.getFieldsResult->OstrFieldInfo.size() : 0;
  return true;
}

void BM_SetFields(benchmark::State& state) {
  const Template& mine = gTemplates[static_cast<size_t>(state.thread_index())];
  FieldSet fields(gRecords);
  for (auto _ : state) {
    size_t answered = 0;
    if (!SetFields(mine, fields, &answered)) {
      state.SkipWithError("setFields failed");
      break;
    }
    benchmark::DoNotOptimize(answered);
  }
  state.SetItemsProcessed(state.iterations() * gRecords);
}

void BM_GetFields(benchmark::State& state) {
  const Template& mine = gTemplates[static_cast<size_t>(state.thread_index())];
  size_t held = 0;
  if (GetFields(mine, &held) && held != static_cast<size_t>(gRecords)) {
    FieldSet fields(gRecords);  // run alone: store the records first (not timed)
    SetFields(mine, fields, &held);
  }
  for (auto _ : state) {
    size_t received = 0;
    if (!GetFields(mine, &received) || received != static_cast<size_t>(gRecords)) {
      state.SkipWithError("getFields failed or returned the wrong number of records");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * gRecords);
}

// Single client first: every template gets its records before the reads.
BENCHMARK(BM_SetFields)
    ->Name("setFields/1client")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetFields)
    ->Name("setFields/20clients")
    ->Threads(kClients)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetFields)
    ->Name("getFields/1client")
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetFields)
    ->Name("getFields/20clients")
    ->Threads(kClients)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      gRecords = std::atoi(argv[++i]);
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());

  osltest::ServiceTestScope scope;
  osltest::TempDir data;
  osltest::ServiceProcess service;
  std::string error;
  if (!service.Start(
          data.path(),
          {"--user", kUser, "--password", kPassword, "--threads", "4", "--max-soap-mb", "64"},
          &error)) {
    std::fprintf(stderr, "osl_bench_service_calls: %s\n", error.c_str());
    return 1;
  }
  gEndpoint = service.baseUrl() + "/services/templateMgr.svc";
  gTemplates.resize(kClients);
  for (size_t i = 0; i < gTemplates.size(); ++i) {
    if (!CreateTemplate(static_cast<int>(i + 1), &gTemplates[i])) {
      std::fprintf(stderr, "osl_bench_service_calls: setTemplate failed\n%s",
                   service.Stderr().c_str());
      return 1;
    }
  }
  benchmark::AddCustomContext("records per call", std::to_string(gRecords));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  service.Stop();
  return 0;
}

// Reading the app options from a typical configuration file: parsing the JSON text
// alone, and loading the file from disk as App::Create does.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/app_options.h"
#include "app/log.h"

namespace {

// A config file as the backend console hands it out: one project, two clients, services
// the app core does not read (skipped as unknown fields).
constexpr char kTypicalConfig[] = R"json({
  "project_info": {
    "project_number": "123456789012",
    "nimbus_url": "https://tervala-demo-project.nimbus.example",
    "project_id": "tervala-demo-project",
    "storage_bucket": "tervala-demo-project.appspot.example"
  },
  "client": [
    {
      "client_info": {
        "mobile_app_id": "1:123456789012:android:0a1b2c3d4e5f6a7b",
        "platform_client_info": {"package_name": "com.example.tervala"}
      },
      "oauth_client": [
        {"client_id": "123456789012-abc.apps.example", "client_type": 3}
      ],
      "api_key": [{"current_key": "AIzaSyD-example-api-key-0123456789abcdef"}],
      "services": {
        "analytics_service": {"status": 2, "analytics_property": {"tracking_id": "UA-12345678-1"}},
        "appinvite_service": {"other_platform_oauth_client": [
          {"client_id": "123456789012-def.apps.example", "client_type": 3}
        ]}
      }
    },
    {
      "client_info": {
        "mobile_app_id": "1:123456789012:ios:9f8e7d6c5b4a3f2e",
        "platform_client_info": {"package_name": "com.example.tervala.ios"}
      },
      "api_key": [{"current_key": "AIzaSyD-example-api-key-fedcba9876543210"}]
    }
  ],
  "configuration_version": "1"
})json";

void ParseJsonConfigTypical(benchmark::State& state) {
  nimbus::AppOptions options;
  if (nimbus::ParseJsonConfig(kTypicalConfig, &options) == nullptr) {
    state.SkipWithError("the typical config does not parse");
  }
  for (auto _ : state) {
    nimbus::AppOptions parsed;
    benchmark::DoNotOptimize(nimbus::ParseJsonConfig(kTypicalConfig, &parsed));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (sizeof kTypicalConfig - 1)));
}
BENCHMARK(ParseJsonConfigTypical);

void LoadOptionsFileTypical(benchmark::State& state) {
  char directory[] = "/tmp/tervala-bench-XXXXXX";
  if (mkdtemp(directory) == nullptr) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::string path = std::string(directory) + "/" + nimbus::kConfigFileDesktop;
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fputs(kTypicalConfig, file);
    std::fclose(file);
  }
  for (auto _ : state) {
    nimbus::AppOptions options;
    benchmark::DoNotOptimize(nimbus::LoadOptionsFile(path.c_str(), &options));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (sizeof kTypicalConfig - 1)));
  std::remove(path.c_str());
  rmdir(directory);
}
BENCHMARK(LoadOptionsFileTypical);

}  // namespace

// velmora-scenario: reads a scenario file and runs one erase of its simulated machine.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "Scenariofile.h"
#include "Scenariorunner.h"

namespace {

constexpr int kExitScenario = 2;

const char* const kUsage =
    "usage: velmora-scenario [--quiet] [--verbose] [--no-read-back] SCENARIO OUTPUT-FOLDER\n"
    "       velmora-scenario --check SCENARIO\n"
    "Runs one erase of the simulated machine that SCENARIO describes through the real erase engine.\n"
    "Disk images and the logs (OUTPUT-FOLDER/Velmora Log) land in OUTPUT-FOLDER.\n"
    "  --check    only read the scenario and report what is wrong with it\n"
    "  --quiet    no progress lines\n"
    "  --verbose  also the engine's diagnostics\n"
    "  --no-read-back  skip the check after the last pass (to measure what it costs)\n";

bool readFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  RunnerOptions options;
  bool check = false;
  std::string files[2];
  int fileCount = 0;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--check") == 0) {
      check = true;
    } else if (std::strcmp(a, "--quiet") == 0) {
      options.quiet = true;
    } else if (std::strcmp(a, "--verbose") == 0) {
      options.verbose = true;
    } else if (std::strcmp(a, "--no-read-back") == 0) {
      options.noReadBack = true;
    } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a[0] == '-' && a[1] != 0) {
      std::fprintf(stderr, "unknown option %s\n%s", a, kUsage);
      return kExitScenario;
    } else if (fileCount < 2) {
      files[fileCount++] = a;
    } else {
      std::fputs(kUsage, stderr);
      return kExitScenario;
    }
  }
  if (fileCount != (check ? 1 : 2)) {
    std::fputs(kUsage, stderr);
    return kExitScenario;
  }
  std::string text;
  if (!readFile(files[0], &text)) {
    std::fprintf(stderr, "%s: cannot be read\n", files[0].c_str());
    return kExitScenario;
  }
  Scenario scenario;
  ScenarioError error;
  if (!parseScenario(text, &scenario, &error)) {
    std::fprintf(stderr, "%s: %s\n", files[0].c_str(), scenarioErrorText(error).c_str());
    return kExitScenario;
  }
  if (check) {
    std::printf("%s: a %s with %zu disk(s), %zu selected, method %d\n", files[0].c_str(),
                scenario.station ? scenarioModelText(scenario.model) : "plain disk", scenario.disks.size(),
                scenario.station ? scenario.selected.size() : scenario.disks.size(), scenario.method);
    return 0;
  }
  options.outDir = files[1];
  return runScenario(scenario, options);
}

// Scenario files are typed by hand: any text must be read or refused with a line, never crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Scenariofile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Scenario scenario;
  ScenarioError error;
  if (!parseScenario(std::string_view(reinterpret_cast<const char*>(data), size), &scenario, &error) &&
      error.message.empty())
    __builtin_trap();  // a refusal always says why
  uint64_t bytes = 0;
  parseByteSize(std::string_view(reinterpret_cast<const char*>(data), size), &bytes);
  return 0;
}

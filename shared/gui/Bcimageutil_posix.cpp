// Resources on the headless side: only what tests put into the table.
#include <map>
#include <utility>
#include <vector>

#include "Bcimageutil.h"
#include "Bcimageutil_impl.h"
#include "Guiheadless.h"

namespace {

std::map<std::pair<ResourceType, int32_t>, std::vector<uint8_t>>& resources() {
  static std::map<std::pair<ResourceType, int32_t>, std::vector<uint8_t>> table;
  return table;
}

}  // namespace

void setHeadlessResource(ResourceType type, int32_t id, std::vector<uint8_t> bytes) {
  resources()[{type, id}] = std::move(bytes);
}

ResourceBytes programResource(ResourceType type, int32_t id) {
  auto it = resources().find({type, id});
  if (it == resources().end()) return {};
  return {it->second.data(), it->second.size()};
}

bool LoadFormIcon(Form* form, int32_t id) {
  // No window to show it: an icon file there is all that is asked.
  const ResourceBytes file = programResource(ResourceType::rcdata, id);
  return form != nullptr && file.size >= 6 && file.data[0] == 0 && file.data[1] == 0 && file.data[2] == 1 &&
         file.data[3] == 0;
}

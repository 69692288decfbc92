// The main window's portable rules: geometry, sidebar slots, erase targets and the boot-drive test.
#include "Formmainutil.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "Textformatutil.h"
#include "Winmsglistutil.h"

Size gripResize(Size client, Point delta) {
  return {std::max(kClientWidth, client.width + delta.x), std::max(kClientHeight, client.height + delta.y)};
}

std::u16string widen(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes) out.push_back(char16_t(uint8_t(c)));
  return out;
}

// --- sidebar --------------------------------------------------------------------------------------

std::string slotName(std::string_view identity) {
  constexpr size_t kShown = 13;
  const std::string shown = printableText(identity);
  if (shown.size() <= kShown) return shown;
  return shown.substr(0, kShown) + "...";
}

int32_t slotIcon(const DiskInfo& disk) {
  if (disk.busType == 7) return kPicSlotUsb;
  return disk.rotationRate == 1 ? kPicSlotSsd : kPicSlotHdd;
}

namespace {

// The slot whose background marks a page: its own, or slot 0 for the settings page.
int markedSlotOf(int32_t page) {
  if (page == SETTINGS_PAGE) return 0;
  return isSlotPage(page) ? int(page) : -1;
}

}  // namespace

Sidebar::Sidebar() { slots_[0].marked = true; }

void Sidebar::show(int slot) { slots_[size_t(slot)].shown = true; }

void Sidebar::diskAdded(int position, const DiskList& list) {
  if (position < 0 || position >= kSlotCount) return;  // no slot for it; the list keeps the disk
  show(position);
  const std::vector<DiskRecord> records = list.records();
  const int inUse = std::min<int>(int(records.size()), kSlotCount);
  for (int k = 0; k < inUse; ++k) {
    SlotState& s = slots_[size_t(k)];
    const DiskRecord& disk = records[size_t(k)];
    s.name = disk ? slotName(disk->identityText) : "N/A";
    if (disk) s.icon = slotIcon(*disk);
  }
}

bool Sidebar::slotRemoved(int slot, int32_t shownPage) {
  if (slot < 0 || slot >= kSlotCount) return false;
  SlotState& s = slots_[size_t(slot)];
  s.shown = false;
  s.hovered = false;
  return slot == shownPage;
}

void Sidebar::noDisks() {
  for (int k = 1; k < kSlotCount; ++k) {
    slots_[size_t(k)].shown = false;
    slots_[size_t(k)].hovered = false;
  }
  show(0);
  slots_[0].name = "Disk";
}

void Sidebar::select(int32_t oldPage, int32_t newPage) {
  // Leaving the settings page also takes the mark off slot 0, or two slots would look selected.
  if (const int old = markedSlotOf(oldPage); old >= 0) slots_[size_t(old)].marked = false;
  if (const int mark = markedSlotOf(newPage); mark >= 0) slots_[size_t(mark)].marked = true;
}

void Sidebar::unmark(int32_t page) {
  if (isSlotPage(page)) slots_[size_t(page)].marked = false;
}

void Sidebar::setHovered(int slot, bool hovered) {
  if (slot >= 0 && slot < kSlotCount) slots_[size_t(slot)].hovered = hovered;
}

// --- erase control --------------------------------------------------------------------------------

std::atomic<int32_t> shownPage{0};
std::atomic<uint8_t> baySelected[kBays];

BayTicks currentBayTicks() {
  BayTicks ticks{};
  for (size_t i = 0; i < ticks.size(); ++i) ticks[i] = baySelected[i] != 0;
  return ticks;
}

bool startButtonVisible(int32_t bayCount, const BayTicks& ticks) {
  if (bayCount == 0) return true;
  const int bays = std::clamp<int>(bayCount, 0, kBays);
  return std::any_of(ticks.begin(), ticks.begin() + bays, [](bool t) { return t; });
}

std::vector<DiskRecord> eraseTargets(const DiskRecord& head, const BayTicks& ticks) {
  std::vector<DiskRecord> targets;
  if (!head) return targets;
  targets.push_back(head);
  if (!isDockDisk(*head)) return targets;
  const std::vector<DiskRecord> group = groupOrder(head);
  for (size_t i = 1; i < group.size(); ++i) {
    const int32_t bay = group[i]->bayIndex;
    if (bay >= 0 && bay < head->bayCount && bay < kBays && ticks[size_t(bay)]) targets.push_back(group[i]);
  }
  return targets;
}

bool holdsBootDrive(const std::vector<DiskRecord>& disks, char windowsLetter) {
  if (windowsLetter == 0) return false;
  const int boot = std::tolower(uint8_t(windowsLetter));
  for (const DiskRecord& disk : disks) {
    if (!disk) continue;
    for (const VolumeInfo& v : disk->volumes.snapshot()) {
      if (std::tolower(uint8_t(v.driveLetter)) == boot) return true;
    }
  }
  return false;
}

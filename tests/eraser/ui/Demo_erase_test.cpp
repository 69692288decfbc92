// The demo build's promise, through the real window: the program's machine and disk scan, the
// two-bay station's bays ticked, Start confirmed with the typed code, the erase run to its end, and
// one log per disk in the log folder on the desktop of the Wine prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "Eraseutil.h"
#include "Eraseutil_worker.h"
#include "Frmlist.h"
#include "Frmmain.h"
#include "Frmuserdefine.h"
#include "Guiapplication.h"
#include "Guitestdriver.h"
#include "Guitimer.h"
#include "Platformservices.h"
#include "Product_scan.h"
#include "Simulator.h"
#include "Velmorademo.h"

namespace {

namespace fs = std::filesystem;

Point centreOf(const Element* e) {
  const Rect r = e->formRect();
  return {r.left + r.width / 2, r.top + r.height / 2};
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// File name -> content of the logs in the folder.
std::map<std::string, std::string> logsIn(const fs::path& folder) {
  std::map<std::string, std::string> logs;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    logs[entry.path().filename().string()] = content.str();
  }
  return logs;
}

TEST(DemoErase, TheTwoBayStationIsErasedToTheEndWithALogPerDisk) {
  std::string desktop, failure;
  ASSERT_TRUE(desktopFolder(&desktop, &failure)) << failure;
  const fs::path folder = fs::path(desktop) / "Velmora Log";
  std::set<std::string> earlier;
  for (const auto& [name, text] : logsIn(folder)) earlier.insert(name);

  // As the demo program starts, unpaced so that the whole run takes a moment.
  DemoMachine demo;
  ASSERT_TRUE(buildDemoMachine(DemoOptions{0}, &demo));
  FormMain = new TFormMain();
  application().setMainForm(FormMain);
  FormList = new TFormList();
  FormUserDefine = new TFormUserDefine();
  FormMain->show();
  mouseAway();
  TFormMain& form = *FormMain;
  ASSERT_TRUE(pumpUntil([&] { return form.slots[1].hit->visible(); }, 10000))
      << "the scan found both stations";

  click(form, centreOf(form.slots[1].hit));
  ASSERT_EQ(form.pictureOf(form.devicePicture), kPicStation2);
  click(form, centreOf(form.bayPictures[0]));
  click(form, centreOf(form.bayPictures[1]));
  ASSERT_TRUE(form.startButton->visible());
  EXPECT_EQ(selectedMethod, kMethodOnePassZeros);

  // The confirmation: the shown code typed into the dialog's edit, then OK.
  Timer user;
  bool confirmed = false;
  user.setInterval(20);
  user.setHandler([&] {
    if (IsWindowVisible(static_cast<HWND>(FormList->handle())) == FALSE) return;
    user.setEnabled(false);
    typeText(*FormList->Edit_Chack, FormList->confirmationCode());
    click(*FormList, centreOf(FormList->ImgOk));
    confirmed = true;
  });
  user.setEnabled(true);
  click(form, centreOf(form.startButton));
  ASSERT_TRUE(confirmed);
  ASSERT_FALSE(liveEraseRuns().empty());
  EXPECT_TRUE(pumpUntil([] { return liveEraseRuns().empty(); }, 40000)) << "the erase ended";

  click(form, centreOf(form.closeButton));
  stopDiskScan();
  application().setMainForm(nullptr);
  delete FormUserDefine;
  delete FormList;
  delete FormMain;

  std::map<std::string, std::string> made = logsIn(folder);
  for (const std::string& name : earlier) made.erase(name);
  ASSERT_EQ(made.size(), 2u);
  const char* models[] = {"TOSHIBA MQ01ABD075", "CT500MX500SSD1"};
  int bay = 0;
  for (const auto& [name, text] : made) {
    EXPECT_TRUE(endsWith(name, "_Disk" + std::to_string(bay + 1) + ".txt")) << name;
    EXPECT_NE(text.find("Model Name:" + std::string(models[bay])), std::string::npos) << name;
    EXPECT_EQ(text.find("Erase Cancel"), std::string::npos) << name;
    EXPECT_TRUE(endsWith(text, "===============================\r\nErase Success\r\n")) << name << "\n"
                                                                                        << text;
    // Every byte of the disk was written.
    unsigned long long capacity = 0;
    const size_t at = text.find("Capacity:");
    ASSERT_NE(at, std::string::npos) << name;
    ASSERT_EQ(std::sscanf(text.c_str() + at, "Capacity:%llu bytes", &capacity), 1) << name;
    EXPECT_GT(capacity, 0u);
    const std::vector<sim::ByteRange> written = sim::coverage(demo.twoBay.disks[size_t(bay)]);
    ASSERT_EQ(written.size(), 1u) << name << ": one range, without gaps";
    EXPECT_EQ(written[0].start, 0u) << name;
    EXPECT_GE(written[0].end, capacity) << name;
    ++bay;
  }
}

}  // namespace

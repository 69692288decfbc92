// The application object on Wine: the window other programs find it by, the close request, the
// message loop, calls posted from other threads.
#include "Guiapplication.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>
#include <vector>

#include "Guitestdriver.h"
#include "Guitimer.h"

namespace {

TEST(GuiApplication, OtherProgramsFindItAndCloseItsMainForm) {
  Application& app = application();
  app.setTitle(u"Nuvant Velmora ");
  void* found = findApplicationWindow(u"Nuvant Velmora ");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found, app.windowHandle());
  EXPECT_EQ(findApplicationWindow(u"Nuvant Velmora"), nullptr);
  wchar_t cls[32] = {};
  GetClassNameW(static_cast<HWND>(found), cls, 32);
  EXPECT_STREQ(cls, L"TApplication");
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(found)));

  Form main;
  main.setBounds(100, 100, 200, 100);
  app.setMainForm(&main);
  int closes = 0;
  main.onClose = [&] { ++closes; };
  std::vector<int> order;
  std::vector<std::thread> threads;
  // Calls posted from other threads run on this thread, in their order; then another program asks
  // us to close.
  Timer later;
  later.setInterval(50);
  later.setHandler([&] {
    later.setEnabled(false);
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) app.post([&order, i] { order.push_back(i); });
      app.post([found] { requestApplicationClose(found); });
    });
  });
  later.setEnabled(true);
  const DWORD thread = GetCurrentThreadId();
  DWORD ranOn = 0;
  app.post([&] { ranOn = GetCurrentThreadId(); });
  const int code = app.run([&] { main.show(); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(code, 0);
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(main.visible());
  EXPECT_TRUE(app.terminated());
  EXPECT_EQ(ranOn, thread);
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[size_t(i)], i);
  app.setMainForm(nullptr);
}

}  // namespace

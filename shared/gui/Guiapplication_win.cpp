#include <atomic>
#include <map>

#include "Guiapplication.h"
#include "Guiform.h"
#include "Guiplatform.h"
#include "Guiplatform_win.h"
#include "Guipostqueue.h"
#include "Guitimer.h"

namespace {

const wchar_t kApplicationClassName[] = L"TApplication";

// Written once by the window thread, read by threads that post.
std::atomic<HWND> gApplicationWindow{nullptr};
std::map<UINT_PTR, Timer*> gTimers;
UINT_PTR gNextTimerId = 0;

PostQueue& postQueue() {
  // Posting wakes the window thread with a message; the queue keeps the order. Calls posted before
  // the window exists wait for the message loop.
  static PostQueue queue([] {
    if (HWND window = gApplicationWindow.load()) PostMessageW(window, kPostedCallsMessage, 0, 0);
  });
  return queue;
}

HWND mainFormWindow() {
  Form* main = Form::mainForm();
  return main != nullptr ? static_cast<HWND>(main->handle()) : nullptr;
}

LRESULT handleApplicationMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER: {
      auto it = gTimers.find(wParam);
      if (it != gTimers.end()) it->second->fire();
      return 0;
    }
    case kPostedCallsMessage:
      postQueue().runPending();
      return 0;
    case WM_CLOSE:
      // Another program asks us to close: the main form closes as if the user had closed it.
      if (Form* main = Form::mainForm()) {
        main->close();
      } else {
        application().terminate();
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_RESTORE) {
        application().restore();
        return 0;
      }
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        application().minimise();
        return 0;
      }
      break;
    case WM_ACTIVATE:
      // The hidden window cannot be used; the form the user works with comes forward instead.
      if (LOWORD(wParam) != WA_INACTIVE) PostMessageW(window, kActivateMessage, 0, 0);
      return 0;
    case kActivateMessage:
      if (HWND main = mainFormWindow(); main != nullptr && IsWindowVisible(main)) {
        SetForegroundWindow(GetLastActivePopup(main));
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK applicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return guardedMessage([&] { return handleApplicationMessage(window, message, wParam, lParam); });
}

}  // namespace

HWND applicationWindow() {
  if (HWND window = gApplicationWindow.load()) return window;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = applicationProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kApplicationClassName;
  RegisterClassExW(&wc);
  // Hidden, never on the task bar: the main form has the button.
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kApplicationClassName, wideText(application().title()),
                                WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  gApplicationWindow.store(window);
  return window;
}

void handleEscapedException(const char* what) { application().failed(what); }

Application& application() {
  static Application app;
  return app;
}

void Application::setTitle(std::u16string_view title) {
  title_ = title;
  SetWindowTextW(applicationWindow(), wideText(title_));
}

void* Application::windowHandle() { return applicationWindow(); }

Form* Application::mainForm() const { return Form::mainForm(); }

void Application::setMainForm(Form* form) { Form::setMainForm(form); }

int Application::run(const std::function<void()>& createForms) {
  applicationWindow();
  postQueue().runPending();
  try {
    if (createForms) createForms();
  } catch (const std::exception& e) {
    failed(e.what());
  } catch (...) {
    failed("Unknown failure");
  }
  while (!terminated_) {
    MSG msg;
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  terminated_ = true;
  return exitCode_;
}

void Application::processMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Application::terminate() {
  if (terminated_) return;
  terminated_ = true;
  PostQuitMessage(0);
}

void Application::post(std::function<void()> call) { postQueue().post(std::move(call)); }

void Application::runPosted() { postQueue().runPending(); }

void Application::showException(std::u16string_view text) {
  const std::wstring message = wideString(text);
  HWND owner = mainFormWindow();
  MessageBoxW(owner != nullptr && IsWindowVisible(owner) ? owner : nullptr, message.c_str(), wideText(title_),
              MB_OK | MB_ICONSTOP);
}

void Application::failed(const char* what) {
  std::u16string text;
  for (const char* p = what != nullptr ? what : ""; *p != 0; ++p) text.push_back(char16_t(uint8_t(*p)));
  exitCode_ = 1;
  showException(text);
  terminate();
}

void Application::minimise() {
  if (Form* main = Form::mainForm()) main->minimise();
}

void Application::restore() {
  Form* main = Form::mainForm();
  if (main == nullptr) return;
  if (main->windowState() == WindowState::minimised) main->restore();
  main->activate();
}

// --- timers -----------------------------------------------------------------------------------------

uint32_t startPlatformTimer(Timer& timer, uint32_t interval) {
  // Ids stay small and unique for the life of the program.
  const UINT_PTR id = ++gNextTimerId;
  if (SetTimer(applicationWindow(), id, interval, nullptr) == 0) return 0;
  gTimers[id] = &timer;
  return uint32_t(id);
}

void stopPlatformTimer(uint32_t id) {
  KillTimer(applicationWindow(), id);
  gTimers.erase(id);
}

// --- other programs ---------------------------------------------------------------------------------

void* findApplicationWindow(std::u16string_view title) {
  const std::wstring text = wideString(title);
  return FindWindowW(kApplicationClassName, text.c_str());
}

void bringApplicationToFront(void* window) {
  HWND w = static_cast<HWND>(window);
  if (w == nullptr) return;
  // The hidden window restores its main form and hands the activation on to it.
  SendMessageTimeoutW(w, WM_SYSCOMMAND, SC_RESTORE, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
  SetForegroundWindow(w);
}

void requestApplicationClose(void* window) {
  // Posted: the other program may take its time to close (it waits for its workers).
  if (window != nullptr) PostMessageW(static_cast<HWND>(window), WM_CLOSE, 0, 0);
}

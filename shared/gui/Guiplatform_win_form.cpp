// The window of a form: a borderless popup that paints its elements through a back buffer, turns
// mouse messages into the form's mouse input, and runs modal loops.

// clang-format off
#include "Guiplatform_win.h"  // windows.h first: the common controls need its types
#include <commctrl.h>
#include <windowsx.h>
// clang-format on

#include <vector>

#include "Guiapplication.h"
#include "Guiform.h"
#include "Guinative.h"
#include "Guiplatform.h"

const wchar_t kFormClassName[] = L"VelmoraForm";

namespace {

LRESULT CALLBACK formProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void registerFormClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = formProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kFormClassName;
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

ShiftState shiftOf(WPARAM keys) {
  ShiftState s = 0;
  if (keys & MK_SHIFT) s |= shiftShift;
  if (keys & MK_CONTROL) s |= shiftCtrl;
  if (keys & MK_LBUTTON) s |= shiftLeft;
  if (keys & MK_RBUTTON) s |= shiftRight;
  if (keys & MK_MBUTTON) s |= shiftMiddle;
  if (GetKeyState(VK_MENU) < 0) s |= shiftAlt;
  return s;
}

NativeControl* controlOf(HWND child) {
  return child != nullptr ? reinterpret_cast<NativeControl*>(GetWindowLongPtrW(child, GWLP_USERDATA))
                          : nullptr;
}

HCURSOR cursorHandle(Cursor c) {
  static const HCURSOR arrow = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
  static const HCURSOR hand = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_HAND));
  static const HCURSOR move = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_SIZEALL));
  return c == Cursor::hand ? hand : c == Cursor::move ? move : arrow;
}

struct DisabledWindows {
  HWND except;
  std::vector<HWND> windows;
};

BOOL CALLBACK disableOne(HWND window, LPARAM data) {
  auto* d = reinterpret_cast<DisabledWindows*>(data);
  if (window != d->except && IsWindowVisible(window) && IsWindowEnabled(window)) {
    d->windows.push_back(window);
    EnableWindow(window, FALSE);
  }
  return TRUE;
}

class WinFormWindow : public FormWindow {
 public:
  explicit WinFormWindow(Form& form) : form_(form) {
    // The application window exists from the first form on, so that other threads can post.
    applicationWindow();
    registerFormClass();
    initCommonControls();
    const DWORD style = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    window_ = CreateWindowExW(0, kFormClassName, L"", style, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
  }
  ~WinFormWindow() override {
    if (tooltip_ != nullptr) DestroyWindow(tooltip_);
    if (window_ != nullptr) {
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      DestroyWindow(window_);
    }
    if (backBuffer_ != nullptr) DeleteObject(backBuffer_);
  }

  void* handle() const override { return window_; }

  void setBounds(const Rect& r) override {
    // A minimised window keeps its place; it reports its bounds again when restored.
    if (IsIconic(window_)) return;
    SetWindowPos(window_, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void setVisible(bool visible) override {
    if (!visible) {
      ShowWindow(window_, SW_HIDE);
      return;
    }
    const bool main = Form::mainForm() == &form_;
    // The main form has the task-bar button; other forms ride on the window that was active (or on
    // the main form), so that they stay above it and have no button of their own.
    HWND owner = nullptr;
    if (!main) {
      HWND active = GetActiveWindow();
      owner = active != nullptr && active != window_ && isFormWindow(active) ? active : nullptr;
      if (owner == nullptr && Form::mainForm() != nullptr)
        owner = static_cast<HWND>(Form::mainForm()->handle());
    }
    SetWindowLongPtrW(window_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    LONG_PTR ex = GetWindowLongPtrW(window_, GWL_EXSTYLE);
    ex = main ? (ex | WS_EX_APPWINDOW) : (ex & ~LONG_PTR(WS_EX_APPWINDOW));
    SetWindowLongPtrW(window_, GWL_EXSTYLE, ex);
    const int show = pendingState_ == WindowState::maximised   ? SW_SHOWMAXIMIZED
                     : pendingState_ == WindowState::minimised ? SW_SHOWMINIMIZED
                                                               : SW_SHOW;
    pendingState_ = WindowState::normal;
    ShowWindow(window_, show);
    SetForegroundWindow(window_);
    UpdateWindow(window_);
  }

  void setCaption(std::u16string_view caption) override {
    const std::wstring text = wideString(caption);
    SetWindowTextW(window_, text.c_str());
  }

  void setAlwaysOnTop(bool on) override {
    SetWindowPos(window_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  void setOutline(int ellipse) override {
    RECT r;
    GetWindowRect(window_, &r);
    // The region's right and bottom edges lie outside it, hence one more pixel each way.
    HRGN region = ellipse > 0
                      ? CreateRoundRectRgn(0, 0, r.right - r.left + 1, r.bottom - r.top + 1, ellipse, ellipse)
                      : nullptr;
    SetWindowRgn(window_, region, TRUE);
  }

  WindowState windowState() const override {
    if (!IsWindowVisible(window_)) return pendingState_;
    return IsIconic(window_)   ? WindowState::minimised
           : IsZoomed(window_) ? WindowState::maximised
                               : WindowState::normal;
  }

  void setWindowState(WindowState state) override {
    if (!IsWindowVisible(window_)) {
      pendingState_ = state;
      return;
    }
    ShowWindow(window_, state == WindowState::maximised   ? SW_MAXIMIZE
                        : state == WindowState::minimised ? SW_MINIMIZE
                                                          : SW_RESTORE);
  }

  void activate() override {
    if (IsWindowVisible(window_)) SetForegroundWindow(window_);
  }

  void invalidate(const Rect& r) override {
    if (r.empty()) return;
    const RECT rc{r.left, r.top, r.right(), r.bottom()};
    InvalidateRect(window_, &rc, FALSE);
  }

  void setMouseCapture(bool on) override {
    captured_ = on;
    if (on) {
      SetCapture(window_);
    } else if (GetCapture() == window_) {
      ReleaseCapture();
    }
  }

  void scheduleHoverCheck() override {
    if (hoverCheckPending_) return;
    hoverCheckPending_ = true;
    PostMessageW(window_, kHoverCheckMessage, 0, 0);
  }

  void hoverChanged() override {
    const Element* e = form_.mouse().hintElement();
    if (e == nullptr && tooltip_ == nullptr) return;
    TOOLINFOW tool = toolInfo();
    if (e == nullptr) {
      SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
      return;
    }
    hintText_ = wideString(e->hint());
    const Rect r = e->formRect();
    tool.rect = RECT{r.left, r.top, r.right(), r.bottom()};
    tool.lpszText = hintText_.data();
    SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
  }

  void runModal() override {
    DisabledWindows disabled{window_, {}};
    EnumThreadWindows(GetCurrentThreadId(), disableOne, reinterpret_cast<LPARAM>(&disabled));
    Application& app = application();
    while (form_.modalResult() == kModalNone && !app.terminated() && IsWindowVisible(window_)) {
      MSG msg;
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {
        // The program is ending: the outer loop has to see the quit too.
        app.setTerminated(true);
        PostQuitMessage(int(msg.wParam));
        break;
      }
      if (got == -1) break;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    // Enabled again before this form hides, so that the activation goes back to its owner.
    for (HWND w : disabled.windows) {
      if (IsWindow(w)) EnableWindow(w, TRUE);
    }
  }

  void closed() override {
    if (Form::mainForm() == &form_) application().terminate();
  }

  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void attach(HWND window) { window_ = window; }

 private:
  TOOLINFOW toolInfo() {
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = window_;
    tool.uId = 1;
    if (tooltip_ == nullptr) {
      tooltip_ = CreateWindowExW(
          WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
      tool.uFlags = TTF_SUBCLASS;
      tool.lpszText = const_cast<wchar_t*>(L"");
      SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    return tool;
  }

  void paint();
  void mouseButton(MouseButton button, bool down, bool doubleClick, WPARAM wParam, LPARAM lParam);
  bool setCursor(WPARAM wParam, LPARAM lParam);
  void activated(bool active);
  LRESULT controlColour(HDC dc, HWND child, UINT message, WPARAM wParam, LPARAM lParam);

  Form& form_;
  HWND window_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND lastFocus_ = nullptr;
  HBITMAP backBuffer_ = nullptr;
  Size backSize_;
  std::wstring hintText_;
  WindowState pendingState_ = WindowState::normal;
  bool captured_ = false;
  bool tracking_ = false;
  bool hoverCheckPending_ = false;
};

void WinFormWindow::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  RECT client;
  GetClientRect(window_, &client);
  const Size size{client.right, client.bottom};
  if (backBuffer_ == nullptr || !(backSize_ == size)) {
    if (backBuffer_ != nullptr) DeleteObject(backBuffer_);
    backBuffer_ = CreateCompatibleBitmap(dc, std::max(size.width, 1), std::max(size.height, 1));
    backSize_ = size;
  }
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, backBuffer_);
  const RECT& p = ps.rcPaint;
  paintFormArea(form_, memory, Rect{p.left, p.top, p.right - p.left, p.bottom - p.top});
  BitBlt(dc, p.left, p.top, p.right - p.left, p.bottom - p.top, memory, p.left, p.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  EndPaint(window_, &ps);
}

void WinFormWindow::mouseButton(MouseButton button, bool down, bool doubleClick, WPARAM wParam,
                                LPARAM lParam) {
  const Point pos{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  if (down) {
    form_.mouse().press(button, pos, shiftOf(wParam), doubleClick);
  } else {
    form_.mouse().release(button, pos, shiftOf(wParam));
  }
}

bool WinFormWindow::setCursor(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(lParam) != HTCLIENT) return false;
  HWND over = reinterpret_cast<HWND>(wParam);
  if (over == window_) {
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(window_, &p);
    SetCursor(cursorHandle(form_.mouse().cursorAt({p.x, p.y})));
    return true;
  }
  // A native control with a cursor of its own; otherwise it shows its usual one.
  NativeControl* control = controlOf(over);
  if (control == nullptr || control->cursor() == Cursor::standard) return false;
  SetCursor(cursorHandle(control->cursor()));
  return true;
}

void WinFormWindow::activated(bool active) {
  if (!active) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window_, focus)) lastFocus_ = focus;
    return;
  }
  // Keyboard focus back to the control that had it, else to the first control that takes typing.
  HWND target =
      lastFocus_ != nullptr && IsWindow(lastFocus_) && IsChild(window_, lastFocus_) ? lastFocus_ : nullptr;
  for (HWND child = GetWindow(window_, GW_CHILD); target == nullptr && child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    NativeControl* c = controlOf(child);
    if (c != nullptr && c->kind() != NativeKind::progressBar && IsWindowVisible(child) &&
        IsWindowEnabled(child)) {
      target = child;
    }
  }
  SetFocus(target != nullptr ? target : window_);
  form_.windowActivated();
}

LRESULT WinFormWindow::controlColour(HDC dc, HWND child, UINT message, WPARAM wParam, LPARAM lParam) {
  NativeControl* control = controlOf(child);
  if (control == nullptr) return DefWindowProcW(window_, message, wParam, lParam);
  SetTextColor(dc, control->font().colour);
  SetBkColor(dc, control->colour());
  return reinterpret_cast<LRESULT>(solidBrush(control->colour()));
}

LRESULT WinFormWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_WINDOWPOSCHANGED: {
      if (IsIconic(window_)) return 0;
      RECT r;
      GetWindowRect(window_, &r);
      form_.windowMoved({r.left, r.top});
      form_.windowResized({r.right - r.left, r.bottom - r.top});
      return 0;
    }
    case WM_GETMINMAXINFO: {
      // Maximised, a borderless window covers the work area, not the task bar.
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      MONITORINFO mi{};
      mi.cbSize = sizeof(mi);
      if (GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &mi)) {
        info->ptMaxPosition = POINT{mi.rcWork.left - mi.rcMonitor.left, mi.rcWork.top - mi.rcMonitor.top};
        info->ptMaxSize = POINT{mi.rcWork.right - mi.rcWork.left, mi.rcWork.bottom - mi.rcWork.top};
      }
      info->ptMinTrackSize = POINT{1, 1};
      return 0;
    }
    case WM_MOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT t{sizeof(t), TME_LEAVE, window_, 0};
        tracking_ = TrackMouseEvent(&t) != FALSE;
      }
      form_.mouse().move({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, shiftOf(wParam));
      return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      form_.mouse().leaveWindow();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      mouseButton(MouseButton::left, true, message == WM_LBUTTONDBLCLK, wParam, lParam);
      return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      mouseButton(MouseButton::right, true, false, wParam, lParam);
      return 0;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      mouseButton(MouseButton::middle, true, false, wParam, lParam);
      return 0;
    case WM_LBUTTONUP:
      mouseButton(MouseButton::left, false, false, wParam, lParam);
      return 0;
    case WM_RBUTTONUP:
      mouseButton(MouseButton::right, false, false, wParam, lParam);
      return 0;
    case WM_MBUTTONUP:
      mouseButton(MouseButton::middle, false, false, wParam, lParam);
      return 0;
    case WM_CAPTURECHANGED:
      if (captured_ && reinterpret_cast<HWND>(lParam) != window_) {
        captured_ = false;
        form_.mouse().captureLost();
      }
      return 0;
    case WM_SETCURSOR:
      if (setCursor(wParam, lParam)) return TRUE;
      break;
    case kHoverCheckMessage:
      hoverCheckPending_ = false;
      form_.mouse().checkHover();
      return 0;
    case WM_ACTIVATE:
      activated(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_CLOSE:
      form_.close();
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == CBN_SELCHANGE) {
        if (NativeControl* c = controlOf(reinterpret_cast<HWND>(lParam))) c->nativeChanged();
      }
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
      return controlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message, wParam,
                           lParam);
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK formProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<WinFormWindow*>(create->lpCreateParams);
    self->attach(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<WinFormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return guardedMessage([&] { return self->onMessage(message, wParam, lParam); });
}

}  // namespace

bool isFormWindow(HWND window) {
  wchar_t name[32];
  return GetClassNameW(window, name, 32) > 0 && lstrcmpW(name, kFormClassName) == 0;
}

std::unique_ptr<FormWindow> createFormWindow(Form& form) { return std::make_unique<WinFormWindow>(form); }

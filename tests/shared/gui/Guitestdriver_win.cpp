#include <windows.h>

#include <cstdio>

#include "Guiapplication.h"
#include "Guitestdriver.h"
#include "Pngtestwriter.h"

namespace {

HWND windowOf(Form& form) { return static_cast<HWND>(form.handle()); }

LPARAM pointParam(Point p) { return MAKELPARAM(uint16_t(int16_t(p.x)), uint16_t(int16_t(p.y))); }

void putPointer(Form& form, Point at) {
  POINT p{at.x, at.y};
  ClientToScreen(windowOf(form), &p);
  SetCursorPos(p.x, p.y);
}

WPARAM keysFor(ShiftState held) {
  WPARAM keys = 0;
  if (held & shiftLeft) keys |= MK_LBUTTON;
  if (held & shiftRight) keys |= MK_RBUTTON;
  if (held & shiftMiddle) keys |= MK_MBUTTON;
  if (held & shiftShift) keys |= MK_SHIFT;
  if (held & shiftCtrl) keys |= MK_CONTROL;
  return keys;
}

struct ButtonMessages {
  UINT down, up, dbl;
  WPARAM key;
};

ButtonMessages messagesOf(MouseButton b) {
  switch (b) {
    case MouseButton::right:
      return {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MK_RBUTTON};
    case MouseButton::middle:
      return {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MK_MBUTTON};
    default:
      return {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, MK_LBUTTON};
  }
}

}  // namespace

void pumpMessages(int milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (milliseconds > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (GetTickCount() - start < DWORD(milliseconds));
}

bool pumpUntil(const std::function<bool()>& condition, int timeoutMilliseconds) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > DWORD(timeoutMilliseconds)) return false;
    pumpMessages(5);
  }
  return true;
}

void mouseMove(Form& form, Point at, ShiftState held) {
  putPointer(form, at);
  SendMessageW(windowOf(form), WM_MOUSEMOVE, keysFor(held), pointParam(at));
}

void mouseDown(Form& form, Point at, MouseButton button) {
  const ButtonMessages m = messagesOf(button);
  mouseMove(form, at);
  SendMessageW(windowOf(form), m.down, m.key, pointParam(at));
}

void mouseUp(Form& form, Point at, MouseButton button) {
  const ButtonMessages m = messagesOf(button);
  putPointer(form, at);
  SendMessageW(windowOf(form), m.up, 0, pointParam(at));
}

void click(Form& form, Point at) {
  mouseDown(form, at);
  mouseUp(form, at);
}

void doubleClick(Form& form, Point at) {
  // As the system reports it: down, up, double-click press, up.
  click(form, at);
  SendMessageW(windowOf(form), WM_LBUTTONDBLCLK, MK_LBUTTON, pointParam(at));
  mouseUp(form, at);
}

void mouseAway() {
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  pumpMessages(20);
}

void typeText(NativeControl& control, std::u16string_view text) {
  HWND window = static_cast<HWND>(control.handle());
  for (char16_t c : text) SendMessageW(window, WM_CHAR, WPARAM(c), 1);
}

void chooseItem(ComboBox& combo, int index) {
  HWND window = static_cast<HWND>(combo.handle());
  SendMessageW(window, CB_SETCURSEL, WPARAM(index), 0);
  SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(window));
}

DecodedImage captureWindow(void* window) {
  HWND w = static_cast<HWND>(window);
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT client;
  GetClientRect(w, &client);
  DecodedImage image;
  if (client.right <= 0 || client.bottom <= 0) return image;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(w);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
  GdiFlush();
  image.width = uint32_t(client.right);
  image.height = uint32_t(client.bottom);
  image.rgba.resize(size_t(image.width) * image.height * 4);
  const uint8_t* p = static_cast<const uint8_t*>(bits);
  for (size_t i = 0; i < size_t(image.width) * image.height; ++i) {
    image.rgba[i * 4] = p[i * 4 + 2];
    image.rgba[i * 4 + 1] = p[i * 4 + 1];
    image.rgba[i * 4 + 2] = p[i * 4];
    image.rgba[i * 4 + 3] = 255;
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
  ReleaseDC(w, screen);
  return image;
}

Colour pixelAt(const DecodedImage& image, int x, int y) {
  if (x < 0 || y < 0 || uint32_t(x) >= image.width || uint32_t(y) >= image.height) return 0;
  const uint8_t* p = &image.rgba[(size_t(y) * image.width + size_t(x)) * 4];
  return rgb(p[0], p[1], p[2]);
}

bool savePng(const DecodedImage& image, const std::string& path) {
  PngPicture picture;
  picture.width = image.width;
  picture.height = image.height;
  picture.colourType = 2;
  picture.bitDepth = 8;
  for (size_t i = 0; i < image.rgba.size(); ++i) {
    if (i % 4 != 3) picture.samples.push_back(image.rgba[i]);
  }
  const std::vector<uint8_t> file = pngFile(picture);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  return std::fclose(f) == 0 && written;
}

std::string saveScreenshot(Form& form, const std::string& name) {
  // The build tree as Wine sees it: the Unix root is drive Z.
  const std::string folder = std::string("Z:") + VELMORA_SCREENSHOT_DIR;
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string path = folder + "/" + name + ".png";
  return savePng(captureWindow(form.handle()), path) ? path : std::string();
}

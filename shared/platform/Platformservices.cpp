// Platform services: the parts common to both sides (test sinks and the desktop override).
#include "Platformservices.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "Platformservices_impl.h"

namespace {
std::mutex sinkLock;
std::function<void(const std::string&)> debugSink;
std::function<void(const std::string&)> messageSink;
std::string desktopOverride;
}  // namespace

void setDebugSink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> hold(sinkLock);
  debugSink = std::move(sink);
}

void setMessageSink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> hold(sinkLock);
  messageSink = std::move(sink);
}

void setDesktopFolderOverride(const std::string& path) {
  std::lock_guard<std::mutex> hold(sinkLock);
  desktopOverride = path;
}

void debugOutput(const std::string& text) {
  {
    std::lock_guard<std::mutex> hold(sinkLock);
    if (debugSink) {
      debugSink(text);
      return;
    }
  }
  platformDebugOutput(text);
}

void debugOutputf(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  debugOutput(text);
}

void showMessageBox(const std::string& text) {
  {
    std::lock_guard<std::mutex> hold(sinkLock);
    if (messageSink) {
      messageSink(text);
      return;
    }
  }
  platformMessageBox(text);
}

bool desktopFolder(std::string* path, std::string* failureText) {
  {
    std::lock_guard<std::mutex> hold(sinkLock);
    if (!desktopOverride.empty()) {
      *path = desktopOverride;
      return true;
    }
  }
  return platformDesktopFolder(path, failureText);
}

// Platform services for portable code: local time, debug output, the desktop folder, folders, log files,
// message box.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

LocalTime localTimeNow();
uint32_t calendarSeconds();  // seconds since 1970, for seeding

// Debug output (OutputDebugStringA on Windows, stderr when VELMORA_DEBUG is set elsewhere). A sink
// set for tests receives every text instead.
void debugOutput(const std::string& text);
void debugOutputf(const char* format, ...) __attribute__((format(printf, 1, 2)));  // up to 255 chars
void setDebugSink(std::function<void(const std::string&)> sink);

// The one message box of the log writer. A sink set for tests receives the text instead.
void showMessageBox(const std::string& text);
void setMessageSink(std::function<void(const std::string&)> sink);

// The user's desktop folder (UTF-8). On failure returns false and sets *failureText to the message
// the log writer shows. A folder set with setDesktopFolderOverride is returned instead (tests, tools).
bool desktopFolder(std::string* path, std::string* failureText);
void setDesktopFolderOverride(const std::string& path);

// Creates every missing component of an absolute folder path in turn. True when the folder exists.
bool createFolders(const std::string& path);

// Log files: created new for writing with no sharing (an existing file is never replaced), written
// unbuffered line by line, closed at the end of a run.
using LogFileHandle = void*;
LogFileHandle createLogFile(const std::string& path);  // nullptr on failure
bool writeLogFile(LogFileHandle file, const char* data, size_t size);
void closeLogFile(LogFileHandle file);

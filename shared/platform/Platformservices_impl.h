// Platform services: what each side (Windows, POSIX) provides behind the common layer.
#pragma once

#include <string>

void platformDebugOutput(const std::string& text);
void platformMessageBox(const std::string& text);
bool platformDesktopFolder(std::string* path, std::string* failureText);

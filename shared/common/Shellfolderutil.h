// Shell folders (desktop, start menu, program files) and telling the shell that a folder changed.
#pragma once

#include <string>

// The path of a shell folder number (CSIDL); empty on failure.
std::string shellFolderPath(int folder);

std::string desktopFolder();        // the current user's desktop
std::string commonDesktopFolder();  // all users' desktop on the NT family, else the user's
std::string programsFolder();       // all users' start-menu programs on the NT family, else the user's
std::string commonStartupFolder();  // all users' startup folder on the NT family, else the user's
std::string programFilesFolder();

// An update-directory notification for the folder, not waiting for it to be handled.
void notifyFolderChanged(const wchar_t* path);

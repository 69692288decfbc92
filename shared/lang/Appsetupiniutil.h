// Settings file: the application data folders, the ini text of the settings file and the saved language.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// --- ini text (portable) ----------------------------------------------------------------------
// A standard ini file: "[Section]" lines and "key=value" lines. Section and key names compare
// without regard to ASCII case; blanks around names and values are not part of them, and one
// pair of quotes around a value is removed. Lines starting with ';' or '#' are comments. Lines end
// in CR LF or LF; a UTF-8 byte-order mark at the start is skipped. When a section or a key occurs
// twice, the first one counts.

// The value of key in section; false (value untouched) when the section or key is missing.
bool iniReadValue(std::string_view text, std::string_view section, std::string_view key, std::string* value);

// Whether section, key and value can be written so that they read back unchanged: no line breaks or
// NUL, names not empty and without blanks at either end, no '=' in the key nor ']' in the section, a
// key not starting like a section or comment, a value without blanks at either end or enclosing quotes.
bool iniCanStore(std::string_view section, std::string_view key, std::string_view value);

// The text with key set to value in section, every other line kept byte for byte: an existing key
// line gets the new value, a missing key is added after the last line of its section, a missing
// section is appended. New lines end like the text's first line (CR LF when it has none). False
// when iniCanStore refuses.
bool iniSetValue(std::string_view text, std::string_view section, std::string_view key,
                 std::string_view value, std::string* out);

// --- folders and the settings file (Windows) -----------------------------------------------
// Paths are single-byte. When the system cannot name the all-users application data folder, every
// path is empty: reads then give their default and writes fail, so nothing lands in a relative path.

// The all-users application data folder (CSIDL_COMMON_APPDATA), e.g. "C:\ProgramData".
std::string commonAppDataFolder();
// "<common application data>\NUVANT".
std::string makerFolder();
// "<maker folder>\<name>"; callers pass "Velmora".
std::string applicationDataFolder(const char* name);
// "<application data folder>\<name>.ini".
std::string settingsFilePath(const char* name);

// Creates the application data folder of name with its parents and gives the local Users group full
// access to the maker folder and the application data folder. 0 or the system error code of the
// folder creation; callers ignore it.
uint32_t prepareFolders(const char* name);

// The value of key in section of the file, or defaultValue when the key is empty or the file, the
// section or the key is missing.
std::string readIniText(const char* file, const char* section, const char* key, const char* defaultValue);

// Sets key in section of the file (created when missing; its folder too). When the stored value
// (empty when missing) already equals value, the file is not touched. A written file is opened to
// the local Users group. False when the file cannot be read or written or the entry cannot be
// stored; callers ignore it.
bool writeIniText(const char* file, const char* section, const char* key, const char* value);

// The saved language code (key "Lang" of section "Display" of the settings file of "Velmora"),
// or the empty text.
std::string readLanguageSetting();

// Saves code there (writeIniText); false without writing for a null or empty code.
bool saveLanguageCode(const char* code);

// Saves the current language's code (currentLanguageCode); nothing when there is no language.
void saveLanguageSetting();

// Ini text of the settings file: reading a value and setting one while keeping every other line.
#include "Appsetupiniutil.h"

#include <cstddef>

namespace {

// A stray CR (a line end of CR CR LF) counts as a blank.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

bool quoted(std::string_view s) {
  return s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front();
}

// One line of the text: where it starts, its content without the line end, and where the next
// line starts.
struct Line {
  size_t start, end, next;
  bool hasBreak;  // ends in LF (a CR alone does not end a line)
  std::string_view content;
};

bool nextLine(std::string_view text, size_t pos, Line* line) {
  if (pos >= text.size()) return false;
  size_t lf = text.find('\n', pos);
  line->start = pos;
  line->next = lf == std::string_view::npos ? text.size() : lf + 1;
  line->end = lf == std::string_view::npos ? text.size() : lf;
  line->hasBreak = lf != std::string_view::npos;
  if (line->end > pos && text[line->end - 1] == '\r') --line->end;
  line->content = text.substr(pos, line->end - pos);
  return true;
}

enum class LineKind { other, section, entry };

// What a line is; for a section its name, for an entry its key and where its value starts.
LineKind classify(std::string_view content, std::string_view* name, size_t* valueStart) {
  std::string_view t = trim(content);
  if (t.empty() || t.front() == ';' || t.front() == '#') return LineKind::other;
  if (t.front() == '[') {
    size_t close = t.find(']');
    *name = trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return LineKind::section;
  }
  size_t eq = content.find('=');
  if (eq == std::string_view::npos) return LineKind::other;
  *name = trim(content.substr(0, eq));
  *valueStart = eq + 1;
  return LineKind::entry;
}

size_t bomLength(std::string_view text) { return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0; }

// Where section and key are in the text.
struct Location {
  bool sectionFound = false;
  size_t sectionEnd = 0;  // offset after the section's last non-blank line
  bool sectionEndHasBreak = true;
  bool keyFound = false;
  Line keyLine{};
  size_t valueStart = 0;  // within the key line's content
};

Location locate(std::string_view text, std::string_view section, std::string_view key) {
  Location at;
  bool inSection = false;
  Line line;
  for (size_t pos = bomLength(text); nextLine(text, pos, &line); pos = line.next) {
    std::string_view name;
    size_t valueStart = 0;
    LineKind kind = classify(line.content, &name, &valueStart);
    if (kind == LineKind::section) {
      if (at.sectionFound) inSection = false;  // only the first section of that name counts
      if (!at.sectionFound && sameName(name, section)) {
        at.sectionFound = inSection = true;
        at.sectionEnd = line.next;
        at.sectionEndHasBreak = line.hasBreak;
      }
      continue;
    }
    if (!inSection) continue;
    if (!trim(line.content).empty()) {
      at.sectionEnd = line.next;
      at.sectionEndHasBreak = line.hasBreak;
    }
    if (kind == LineKind::entry && sameName(name, key)) {
      at.keyFound = true;
      at.keyLine = line;
      at.valueStart = valueStart;
      return at;
    }
  }
  return at;
}

std::string_view lineBreakOf(std::string_view text) {
  size_t lf = text.find('\n');
  if (lf == std::string_view::npos || (lf > 0 && text[lf - 1] == '\r')) return "\r\n";
  return "\n";
}

bool hasLineBreak(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos; }

}  // namespace

bool iniReadValue(std::string_view text, std::string_view section, std::string_view key, std::string* value) {
  Location at = locate(text, section, key);
  if (!at.keyFound) return false;
  std::string_view v = trim(at.keyLine.content.substr(at.valueStart));
  if (quoted(v)) v = v.substr(1, v.size() - 2);
  value->assign(v);
  return true;
}

bool iniCanStore(std::string_view section, std::string_view key, std::string_view value) {
  if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) return false;
  if (section.empty() || key.empty() || trim(section) != section || trim(key) != key) return false;
  if (section.find(']') != section.npos || key.find('=') != key.npos) return false;
  if (key.front() == '[' || key.front() == ';' || key.front() == '#') return false;
  return trim(value) == value && !quoted(value);
}

bool iniSetValue(std::string_view text, std::string_view section, std::string_view key,
                 std::string_view value, std::string* out) {
  if (!iniCanStore(section, key, value)) return false;
  Location at = locate(text, section, key);
  std::string_view br = lineBreakOf(text);
  std::string result;
  result.reserve(text.size() + section.size() + key.size() + value.size() + 8);
  if (at.keyFound) {
    // Keep the key as spelled and the blanks after '='; the old value and its trailing blanks go.
    size_t keep = at.valueStart;
    while (keep < at.keyLine.content.size() && isBlank(at.keyLine.content[keep])) ++keep;
    result.append(text.substr(0, at.keyLine.start + keep));
    result.append(value);
    result.append(text.substr(at.keyLine.end));
  } else if (at.sectionFound) {
    result.append(text.substr(0, at.sectionEnd));
    if (!at.sectionEndHasBreak) result.append(br);
    result.append(key).append("=").append(value).append(br);
    result.append(text.substr(at.sectionEnd));
  } else {
    result.append(text);
    size_t bom = bomLength(text);
    if (text.size() > bom && text.back() != '\n') result.append(br);
    // A blank line between the last section and the new one, as editors and the system write it.
    Line last{}, line;
    for (size_t pos = bom; nextLine(text, pos, &line); pos = line.next) last = line;
    if (!trim(last.content).empty()) result.append(br);
    result.append("[").append(section).append("]").append(br);
    result.append(key).append("=").append(value).append(br);
  }
  *out = std::move(result);
  return true;
}

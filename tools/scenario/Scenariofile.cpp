// Scenario files: tokens, keywords, sizes, and the checks of a whole scenario.
#include "Scenariofile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <numeric>
#include <optional>

namespace {

constexpr int kBayUnsaid = -1;

struct Failure {
  std::string message;
};

// --- tokens -------------------------------------------------------------------------------------------

// Words separated by blanks; a double quote keeps blanks and '#' inside a word (model="WDC WD10").
bool tokenize(std::string_view line, std::vector<std::string>* words, Failure* failure) {
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '#') break;
    std::string word;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
      if (line[i] == '#') break;
      if (line[i] != '"') {
        word += line[i++];
        continue;
      }
      const size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) {
        failure->message = "a double quote is not closed";
        return false;
      }
      word.append(line.substr(i + 1, close - i - 1));
      i = close + 1;
    }
    words->push_back(std::move(word));
  }
  return true;
}

std::string lower(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// --- numbers ------------------------------------------------------------------------------------------

bool parseUnsigned(std::string_view text, uint64_t limit, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = uint64_t(c - '0');
    if (digit > limit || v > (limit - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

bool parseInt(std::string_view text, int64_t low, int64_t high, int64_t* value) {
  uint64_t v = 0;
  if (!parseUnsigned(text, uint64_t(high < 0 ? 0 : high), &v) || int64_t(v) < low) return false;
  *value = int64_t(v);
  return true;
}

struct Unit {
  const char* name;
  uint64_t factor;
};

constexpr Unit kUnits[] = {
    {"", 1},
    {"b", 1},
    {"k", uint64_t(1) << 10},
    {"kib", uint64_t(1) << 10},
    {"m", uint64_t(1) << 20},
    {"mib", uint64_t(1) << 20},
    {"g", uint64_t(1) << 30},
    {"gib", uint64_t(1) << 30},
    {"t", uint64_t(1) << 40},
    {"tib", uint64_t(1) << 40},
    {"kb", 1000},
    {"mb", 1000 * 1000},
    {"gb", 1000 * 1000 * 1000},
    {"tb", uint64_t(1000) * 1000 * 1000 * 1000},
};

// --- the scenario being read --------------------------------------------------------------------------

// key=value settings of one line; every key must be used once.
class Settings {
 public:
  bool read(const std::vector<std::string>& words, size_t from, Failure* failure) {
    for (size_t i = from; i < words.size(); ++i) {
      const size_t eq = words[i].find('=');
      if (eq == std::string::npos || eq == 0) {
        failure->message = "\"" + words[i] + "\" is not a setting of the form name=value";
        return false;
      }
      const std::string key = lower(words[i].substr(0, eq));
      if (!values_.emplace(key, words[i].substr(eq + 1)).second) {
        failure->message = "\"" + key + "\" is given twice";
        return false;
      }
    }
    return true;
  }

  std::optional<std::string> take(const char* key) {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    std::string v = it->second;
    values_.erase(it);
    return v;
  }

  bool finish(const std::string& keyword, Failure* failure) const {
    if (values_.empty()) return true;
    failure->message = "unknown setting \"" + values_.begin()->first + "\" for " + keyword;
    return false;
  }

 private:
  std::map<std::string, std::string> values_;
};

struct Reader {
  Scenario s;
  int line = 0;
  bool sawStation = false, sawPlain = false, sawMethod = false, sawPattern = false, sawBacking = false;
  bool sawSelect = false, sawCancel = false, sawSpeed = false, sawRefuse = false, sawScan = false;
  bool sawDrop = false;
  int selectLine = 0, patternLine = 0, refuseLine = 0, scanLine = 0, dropLine = 0;
  std::vector<std::pair<int, ScenarioVolume>> volumes;  // bay (or unsaid), volume
  ScenarioBacking backing = ScenarioBacking::discard;
  bool unbuffered = false;
  std::vector<bool> diskBacking;  // per disk: the line named its own backing
};

using Words = std::vector<std::string>;
using Handler = bool (*)(Reader&, const Words&, Failure*);

bool fail(Failure* failure, std::string message) {
  failure->message = std::move(message);
  return false;
}

bool once(bool* seen, const std::string& keyword, Failure* failure) {
  if (*seen) return fail(failure, keyword + " is given twice");
  *seen = true;
  return true;
}

bool sizeSetting(Settings& settings, const char* key, bool required, uint64_t* value, Failure* failure) {
  const auto text = settings.take(key);
  if (!text) return !required || fail(failure, std::string("missing ") + key + "=");
  if (!parseByteSize(*text, value))
    return fail(failure, std::string(key) + "=" + *text + " is not a byte size");
  return true;
}

bool bayValue(const std::string& text, int* bay, Failure* failure) {
  int64_t v = 0;
  if (!parseInt(text, 0, 5, &v)) return fail(failure, "bay " + text + " is not a bay number (0 to 5)");
  *bay = int(v);
  return true;
}

// A fault may leave the bay out: it then means the plain disk (checked once the whole file is read).
bool baySetting(Settings& settings, bool required, int* bay, Failure* failure) {
  const auto text = settings.take("bay");
  if (!text) {
    *bay = kBayUnsaid;
    return !required || fail(failure, "missing bay=");
  }
  return bayValue(*text, bay, failure);
}

bool errorSetting(Settings& settings, uint32_t* error, Failure* failure) {
  const auto text = settings.take("error");
  if (!text) return true;
  int64_t v = 0;
  if (!parseInt(*text, 1, 0xFFFFFFFFLL, &v)) return fail(failure, "error=" + *text + " is not an error code");
  *error = uint32_t(v);
  return true;
}

bool textSetting(Settings& settings, const char* key, size_t maxChars, std::string* value, Failure* failure) {
  const auto text = settings.take(key);
  if (!text) return true;
  if (text->size() > maxChars)
    return fail(failure, std::string(key) + " is longer than " + std::to_string(maxChars) + " characters");
  for (const char c : *text) {
    if (c < 0x20 || c > 0x7E) return fail(failure, std::string(key) + " may hold printable ASCII only");
  }
  *value = *text;
  return true;
}

bool backingName(const std::string& text, ScenarioBacking* backing, Failure* failure) {
  static const std::map<std::string, ScenarioBacking> names = {{"memory", ScenarioBacking::memory},
                                                               {"sparse", ScenarioBacking::sparse},
                                                               {"discard", ScenarioBacking::discard}};
  auto it = names.find(lower(text));
  if (it == names.end()) return fail(failure, "backing \"" + text + "\" is not memory, sparse or discard");
  *backing = it->second;
  return true;
}

// The settings that disk and plain lines share.
bool diskSettings(Settings& settings, ScenarioDisk* disk, bool* ownBacking, Failure* failure) {
  if (!sizeSetting(settings, "length", true, &disk->length, failure)) return false;
  if (const auto sector = settings.take("sector")) {
    int64_t v = 0;
    if (!parseInt(*sector, 512, 65536, &v) || (v & (v - 1)) != 0)
      return fail(failure, "sector=" + *sector + " is not a power of two from 512 to 65536");
    disk->sectorSize = uint32_t(v);
  }
  if (disk->length == 0 || disk->length > kScenarioMaxLength)
    return fail(failure, "length must be above 0 and at most " + byteSizeText(kScenarioMaxLength));
  if (disk->length % disk->sectorSize != 0)
    return fail(failure, "length " + std::to_string(disk->length) + " is not a whole number of " +
                             std::to_string(disk->sectorSize) + "-byte sectors");
  if (!textSetting(settings, "model", kScenarioModelChars, &disk->model, failure)) return false;
  if (!textSetting(settings, "serial", kScenarioSerialChars, &disk->serial, failure)) return false;
  *ownBacking = false;
  if (const auto b = settings.take("backing")) {
    if (!backingName(*b, &disk->backing, failure)) return false;
    *ownBacking = true;
  }
  if (const auto f = settings.take("file")) {
    if (f->empty()) return fail(failure, "file= names no file");
    disk->file = *f;
  }
  return true;
}

void addDisk(Reader& r, ScenarioDisk disk, bool ownBacking) {
  disk.line = r.line;
  r.s.disks.push_back(std::move(disk));
  r.diskBacking.push_back(ownBacking);
}

// --- keywords -----------------------------------------------------------------------------------------

bool onStation(Reader& r, const Words& w, Failure* failure) {
  if (r.sawPlain) return fail(failure, "a scenario has a station or a plain disk, not both");
  if (!once(&r.sawStation, "station", failure)) return false;
  if (w.size() < 2) return fail(failure, "station needs a model: SYWL, SYW2 or SYW4");
  static const std::map<std::string, ScenarioModel> models = {
      {"sywl", ScenarioModel::sywl}, {"syw2", ScenarioModel::syw2}, {"syw4", ScenarioModel::syw4}};
  auto it = models.find(lower(w[1]));
  if (it == models.end()) return fail(failure, "station model \"" + w[1] + "\" is not SYWL, SYW2 or SYW4");
  r.s.station = true;
  r.s.model = it->second;
  Settings settings;
  if (!settings.read(w, 2, failure)) return false;
  if (const auto form = settings.take("form")) {
    if (lower(*form) == "jm") {
      r.s.replyForm = ScenarioReplyForm::jm;
    } else if (lower(*form) == "plain") {
      r.s.replyForm = ScenarioReplyForm::plain;
    } else {
      return fail(failure, "form \"" + *form + "\" is not jm or plain");
    }
  }
  return settings.finish("station", failure);
}

bool onDisk(Reader& r, const Words& w, Failure* failure) {
  if (!r.sawStation)
    return fail(failure, "disk needs a station line before it (a disk outside a station is \"plain\")");
  Settings settings;
  if (!settings.read(w, 1, failure)) return false;
  ScenarioDisk disk;
  if (!baySetting(settings, true, &disk.bay, failure)) return false;
  const int bays = scenarioBayCount(r.s.model);
  if (disk.bay >= bays)
    return fail(failure, "bay " + std::to_string(disk.bay) + " is not in a " + scenarioModelText(r.s.model) +
                             " station (bays 0 to " + std::to_string(bays - 1) + ")");
  for (const ScenarioDisk& d : r.s.disks) {
    if (d.bay == disk.bay)
      return fail(failure, "bay " + std::to_string(disk.bay) + " already holds the disk of line " +
                               std::to_string(d.line));
  }
  bool own = false;
  if (!diskSettings(settings, &disk, &own, failure) || !settings.finish("disk", failure)) return false;
  addDisk(r, std::move(disk), own);
  return true;
}

bool onPlain(Reader& r, const Words& w, Failure* failure) {
  if (r.sawStation) return fail(failure, "a scenario has a station or a plain disk, not both");
  if (!once(&r.sawPlain, "plain", failure)) return false;
  Settings settings;
  if (!settings.read(w, 1, failure)) return false;
  ScenarioDisk disk;
  bool own = false;
  if (!diskSettings(settings, &disk, &own, failure) || !settings.finish("plain", failure)) return false;
  addDisk(r, std::move(disk), own);
  return true;
}

bool onSelect(Reader& r, const Words& w, Failure* failure) {
  if (!once(&r.sawSelect, "select", failure)) return false;
  r.selectLine = r.line;
  if (w.size() < 2) return fail(failure, "select needs bay numbers, or \"none\"");
  if (w.size() == 2 && lower(w[1]) == "none") return true;
  for (size_t i = 1; i < w.size(); ++i) {
    int bay = 0;
    if (!bayValue(w[i], &bay, failure)) return false;
    if (std::find(r.s.selected.begin(), r.s.selected.end(), bay) != r.s.selected.end())
      return fail(failure, "bay " + w[i] + " is selected twice");
    r.s.selected.push_back(bay);
  }
  std::sort(r.s.selected.begin(), r.s.selected.end());
  return true;
}

bool onMethod(Reader& r, const Words& w, Failure* failure) {
  if (!once(&r.sawMethod, "method", failure)) return false;
  int64_t v = 0;
  if (w.size() != 2 || !parseInt(w[1], 1, 22, &v))
    return fail(failure, "method needs one number from 1 to 22 (22: the user-defined passes)");
  r.s.method = int32_t(v);
  return true;
}

bool onPattern(Reader& r, const Words& w, Failure* failure) {
  if (!once(&r.sawPattern, "pattern", failure)) return false;
  r.patternLine = r.line;
  if (w.size() != 5) return fail(failure, "pattern needs four numbers: 0 for random, k for the byte k-1");
  for (size_t i = 0; i < 4; ++i) {
    int64_t v = 0;
    if (!parseInt(w[i + 1], 0, 256, &v))
      return fail(failure, "pattern value " + w[i + 1] + " is not 0 to 256");
    r.s.pattern[i] = int32_t(v);
  }
  return true;
}

bool onBacking(Reader& r, const Words& w, Failure* failure) {
  if (!once(&r.sawBacking, "backing", failure)) return false;
  if (w.size() < 2 || w.size() > 3) return fail(failure, "backing needs memory, sparse or discard");
  if (!backingName(w[1], &r.backing, failure)) return false;
  if (w.size() == 3) {
    if (lower(w[2]) != "unbuffered") return fail(failure, "\"" + w[2] + "\" is not \"unbuffered\"");
    if (r.backing != ScenarioBacking::sparse) return fail(failure, "only sparse backing can be unbuffered");
    r.unbuffered = true;
  }
  return true;
}

bool onFail(Reader& r, const Words& w, Failure* failure) {
  static const std::map<std::string, ScenarioRequest> requests = {{"open", ScenarioRequest::open},
                                                                  {"layout", ScenarioRequest::layout},
                                                                  {"geometry", ScenarioRequest::geometry},
                                                                  {"length", ScenarioRequest::length}};
  if (w.size() < 2) return fail(failure, "fail needs a request: open, layout, geometry or length");
  auto it = requests.find(lower(w[1]));
  if (it == requests.end())
    return fail(failure, "request \"" + w[1] + "\" is not open, layout, geometry or length");
  ScenarioFault fault;
  fault.request = it->second;
  Settings settings;
  if (!settings.read(w, 2, failure) || !baySetting(settings, false, &fault.bay, failure)) return false;
  if (!errorSetting(settings, &fault.error, failure)) return false;
  if (const auto times = settings.take("times")) {
    int64_t v = 0;
    if (!parseInt(*times, 1, 1000000, &v))
      return fail(failure, "times=" + *times + " is not a count above 0");
    fault.times = int32_t(v);
  }
  if (!settings.finish("fail", failure)) return false;
  fault.line = r.line;
  r.s.faults.push_back(fault);
  return true;
}

bool onWriteError(Reader& r, const Words& w, Failure* failure) {
  ScenarioFault fault;
  fault.kind = ScenarioFaultKind::writeError;
  Settings settings;
  if (!settings.read(w, 1, failure) || !baySetting(settings, false, &fault.bay, failure)) return false;
  if (!sizeSetting(settings, "offset", true, &fault.at, failure)) return false;
  if (!errorSetting(settings, &fault.error, failure) || !settings.finish("write-error", failure))
    return false;
  fault.line = r.line;
  r.s.faults.push_back(fault);
  return true;
}

bool onUnplug(Reader& r, const Words& w, Failure* failure) {
  ScenarioFault fault;
  fault.kind = ScenarioFaultKind::unplug;
  Settings settings;
  if (!settings.read(w, 1, failure) || !baySetting(settings, false, &fault.bay, failure)) return false;
  if (!sizeSetting(settings, "after", true, &fault.at, failure)) return false;
  if (fault.at == 0) return fail(failure, "after= must be above 0");
  if (!settings.finish("unplug", failure)) return false;
  fault.line = r.line;
  r.s.faults.push_back(fault);
  return true;
}

bool onSwap(Reader& r, const Words& w, Failure* failure) {
  ScenarioFault fault;
  fault.kind = ScenarioFaultKind::swap;
  Settings settings;
  if (!settings.read(w, 1, failure) || !baySetting(settings, false, &fault.bay, failure)) return false;
  if (!sizeSetting(settings, "length", false, &fault.at, failure)) return false;
  if (!textSetting(settings, "serial", kScenarioSerialChars, &fault.serial, failure)) return false;
  if (!settings.finish("swap", failure)) return false;
  fault.line = r.line;
  if (fault.serial.empty()) fault.serial = "SWAP" + std::to_string(100000 + r.line);
  r.s.faults.push_back(fault);
  return true;
}

bool onVolume(Reader& r, const Words& w, Failure* failure) {
  Settings settings;
  int bay = 0;
  if (!settings.read(w, 1, failure) || !baySetting(settings, false, &bay, failure)) return false;
  ScenarioVolume v;
  if (!sizeSetting(settings, "size", true, &v.size, failure)) return false;
  if (v.size == 0) return fail(failure, "size= must be above 0");
  if (const auto letter = settings.take("letter")) {
    const std::string l = lower(*letter);
    if (l.size() != 1 || l[0] < 'c' || l[0] > 'z')
      return fail(failure, "letter=" + *letter + " is not c to z");
    for (const auto& [b, other] : r.volumes) {
      if (other.letter == l[0])
        return fail(failure, "letter " + l + " is taken by line " + std::to_string(other.line));
    }
    v.letter = l[0];
  }
  if (!settings.finish("volume", failure)) return false;
  v.line = r.line;
  r.volumes.emplace_back(bay, v);
  return true;
}

// A fault of a disk that takes nothing but the bay.
template <ScenarioFaultKind kind>
bool onDiskFault(Reader& r, const Words& w, Failure* failure) {
  ScenarioFault fault;
  fault.kind = kind;
  Settings settings;
  if (!settings.read(w, 1, failure) || !baySetting(settings, false, &fault.bay, failure)) return false;
  if (!settings.finish(w[0], failure)) return false;
  fault.line = r.line;
  r.s.faults.push_back(fault);
  return true;
}

bool onDropCopies(Reader& r, const Words& w, Failure* failure) {
  if (!once(&r.sawDrop, "drop-copies", failure)) return false;
  if (w.size() != 1) return fail(failure, "drop-copies takes nothing");
  r.dropLine = r.line;
  r.s.dropCopies = true;
  return true;
}

bool onRefuseMode(Reader& r, const Words& w, Failure* failure) {
  if (!once(&r.sawRefuse, "refuse-mode", failure)) return false;
  r.refuseLine = r.line;
  if (w.size() > 2 || (w.size() == 2 && lower(w[1]) != "busy"))
    return fail(failure, "refuse-mode takes nothing or \"busy\"");
  r.s.refuseMode = true;
  r.s.refuseBusy = w.size() == 2;
  return true;
}

bool onCancel(Reader& r, const Words& w, Failure* failure) {
  if (!once(&r.sawCancel, "cancel", failure)) return false;
  Settings settings;
  if (!settings.read(w, 1, failure) || !sizeSetting(settings, "after", true, &r.s.cancelAfter, failure))
    return false;
  if (r.s.cancelAfter == 0) return fail(failure, "after= must be above 0");
  return settings.finish("cancel", failure);
}

bool onSpeed(Reader& r, const Words& w, Failure* failure) {
  if (!once(&r.sawSpeed, "speed", failure)) return false;
  if (w.size() != 2 || !parseSpeed(w[1], &r.s.bytesPerSecond))
    return fail(failure, "speed needs a rate such as 200MiB/s");
  return true;
}

bool onScan(Reader& r, const Words& w, Failure* failure) {
  if (!once(&r.sawScan, "scan", failure)) return false;
  if (w.size() != 1) return fail(failure, "scan takes nothing");
  r.scanLine = r.line;
  r.s.scanFirst = true;
  return true;
}

struct Keyword {
  const char* name;
  Handler handler;
};

constexpr Keyword kKeywords[] = {
    {"station", onStation},
    {"disk", onDisk},
    {"plain", onPlain},
    {"select", onSelect},
    {"method", onMethod},
    {"pattern", onPattern},
    {"backing", onBacking},
    {"fail", onFail},
    {"write-error", onWriteError},
    {"unplug", onUnplug},
    {"swap", onSwap},
    {"refuse-mode", onRefuseMode},
    {"cancel", onCancel},
    {"speed", onSpeed},
    {"scan", onScan},
    {"volume", onVolume},
    {"open-files", onDiskFault<ScenarioFaultKind::openFiles>},
    {"refuse-dismount", onDiskFault<ScenarioFaultKind::refuseDismount>},
    {"forget-writes", onDiskFault<ScenarioFaultKind::forgetWrites>},
    {"drop-copies", onDropCopies},
};

// --- checks of the whole file -------------------------------------------------------------------------

const ScenarioDisk* diskInBay(const Scenario& s, int bay) {
  for (const ScenarioDisk& d : s.disks)
    if (d.bay == bay) return &d;
  return nullptr;
}

bool checkWhole(Reader& r, ScenarioError* error) {
  auto at = [error](int line, std::string message) {
    error->line = line;
    error->message = std::move(message);
    return false;
  };
  Scenario& s = r.s;
  if (s.disks.empty())
    return at(0, r.sawStation ? "the station holds no disk: add disk lines"
                              : "no disk: add a station with disk lines, or a plain line");
  for (size_t i = 0; i < s.disks.size(); ++i) {
    ScenarioDisk& d = s.disks[i];
    if (!r.diskBacking[i]) d.backing = r.backing;
    d.unbuffered = d.backing == ScenarioBacking::sparse && r.unbuffered;
    if (!d.file.empty() && d.backing == ScenarioBacking::discard)
      return at(d.line, "file= needs memory or sparse backing (a discarding disk has no image)");
    if (d.model.empty()) d.model = "VELMORA SIM DISK " + std::to_string(d.bay + 1);
    if (d.serial.empty()) d.serial = "SIM" + std::to_string(100000 + d.line);
  }
  uint64_t memory = 0;
  for (const ScenarioDisk& d : s.disks) {
    if (d.backing != ScenarioBacking::memory) continue;
    memory += d.length;
    if (memory > kScenarioMemoryLimit)
      return at(d.line, "memory backing holds at most " + byteSizeText(kScenarioMemoryLimit) +
                            " in all; use sparse or discard for larger disks");
  }
  for (size_t i = 0; i < s.disks.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (!s.disks[i].file.empty() && lower(s.disks[i].file) == lower(s.disks[j].file))
        return at(s.disks[i].line, "file " + s.disks[i].file + " is the image of line " +
                                       std::to_string(s.disks[j].line) + " already");
    }
  }
  if (r.sawSelect && !s.station)
    return at(r.selectLine, "select needs a station (a plain disk is always erased)");
  if (!r.sawSelect) {
    // Nothing said: every disk of the station is ticked.
    for (const ScenarioDisk& d : s.disks) s.selected.push_back(d.bay);
    std::sort(s.selected.begin(), s.selected.end());
  }
  for (const int bay : s.selected) {
    if (diskInBay(s, bay) == nullptr)
      return at(r.selectLine, "bay " + std::to_string(bay) + " holds no disk");
  }
  if (r.sawRefuse && !s.station) return at(r.refuseLine, "refuse-mode needs a station");
  if (r.sawDrop && !s.station) return at(r.dropLine, "drop-copies needs a station");
  for (auto& [bay, v] : r.volumes) {
    if (bay == kBayUnsaid) {
      if (s.station) return at(v.line, "missing bay=");
      bay = 0;
    }
    auto disk =
        std::find_if(s.disks.begin(), s.disks.end(), [b = bay](const ScenarioDisk& d) { return d.bay == b; });
    if (disk == s.disks.end()) return at(v.line, "bay " + std::to_string(bay) + " holds no disk");
    uint64_t end = uint64_t(1) << 20;
    for (const ScenarioVolume& before : disk->volumes) end += before.size;
    if (v.size > disk->length || end > disk->length - v.size)
      return at(v.line, "the volume does not fit on the disk in bay " + std::to_string(bay) +
                            " (volumes start at 1 MiB, one after another)");
    disk->volumes.push_back(v);
  }
  if (r.sawScan && !s.station)
    return at(r.scanLine, "scan needs a station (the scan never lists a disk outside one)");
  for (ScenarioFault& f : s.faults) {
    // Only a station's bridge keeps its bay's path for the next disk.
    if (f.kind == ScenarioFaultKind::swap && !s.station) return at(f.line, "swap needs a station");
    if (f.bay == kBayUnsaid) {
      if (s.station) return at(f.line, "missing bay=");
      f.bay = 0;
    }
    const ScenarioDisk* d = diskInBay(s, f.bay);
    if (d == nullptr) return at(f.line, "bay " + std::to_string(f.bay) + " holds no disk");
    const bool needsVolume =
        f.kind == ScenarioFaultKind::openFiles || f.kind == ScenarioFaultKind::refuseDismount;
    if (needsVolume && d->volumes.empty())
      return at(f.line, "the disk in bay " + std::to_string(f.bay) + " has no volume: add a volume line");
    if (f.kind == ScenarioFaultKind::writeError && f.at >= d->length)
      return at(f.line, "offset " + std::to_string(f.at) + " is past the end of the disk in bay " +
                            std::to_string(f.bay) + " (" + std::to_string(d->length) + " bytes)");
    if (f.kind == ScenarioFaultKind::swap && (f.at > kScenarioMaxLength || f.at % d->sectorSize != 0))
      return at(f.line, "length " + std::to_string(f.at) + " is not a whole number of " +
                            std::to_string(d->sectorSize) + "-byte sectors of at most " +
                            byteSizeText(kScenarioMaxLength));
  }
  return true;
}

}  // namespace

bool parseScenario(std::string_view text, Scenario* out, ScenarioError* error) {
  Reader r;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++r.line;
    Failure failure;
    Words words;
    bool ok = tokenize(text.substr(start, end - start), &words, &failure);
    if (ok && !words.empty()) {
      const std::string keyword = lower(words[0]);
      const auto* k = std::find_if(std::begin(kKeywords), std::end(kKeywords),
                                   [&keyword](const Keyword& kw) { return keyword == kw.name; });
      ok = k != std::end(kKeywords) ? k->handler(r, words, &failure)
                                    : fail(&failure, "unknown keyword \"" + words[0] + "\"");
    }
    if (!ok) {
      error->line = r.line;
      error->message = failure.message;
      return false;
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  if (!checkWhole(r, error)) return false;
  *out = std::move(r.s);
  return true;
}

std::string scenarioErrorText(const ScenarioError& error) {
  return error.line > 0 ? "line " + std::to_string(error.line) + ": " + error.message : error.message;
}

bool parseByteSize(std::string_view text, uint64_t* bytes) {
  size_t digits = 0;
  while (digits < text.size() && ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.'))
    ++digits;
  const std::string number(text.substr(0, digits));
  const std::string unitName = lower(text.substr(digits));
  const auto* unit = std::find_if(std::begin(kUnits), std::end(kUnits),
                                  [&unitName](const Unit& u) { return unitName == u.name; });
  if (unit == std::end(kUnits) || number.empty()) return false;
  const size_t dot = number.find('.');
  const std::string whole = number.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "" : number.substr(dot + 1);
  if (whole.empty() || fraction.find('.') != std::string::npos ||
      (dot != std::string::npos && fraction.empty()))
    return false;
  uint64_t w = 0;
  if (!parseUnsigned(whole, UINT64_MAX / unit->factor, &w)) return false;
  uint64_t result = w * unit->factor;
  if (!fraction.empty()) {
    // fraction digits f of n places: f * factor / 10^n must be whole.
    // f / 10^n of the unit is whole when f is a multiple of what the unit leaves of 10^n.
    if (fraction.size() > 9) return false;
    uint64_t f = 0, scale = 1;
    parseUnsigned(fraction, UINT64_MAX, &f);
    for (size_t i = 0; i < fraction.size(); ++i) scale *= 10;
    const uint64_t common = std::gcd(scale, unit->factor);
    const uint64_t step = scale / common, per = unit->factor / common;
    if (f % step != 0 || f / step > UINT64_MAX / per) return false;
    const uint64_t add = f / step * per;
    if (result > UINT64_MAX - add) return false;
    result += add;
  }
  *bytes = result;
  return true;
}

bool parseSpeed(std::string_view text, uint64_t* bytesPerSecond) {
  const size_t slash = text.rfind('/');
  if (slash == std::string_view::npos || lower(text.substr(slash + 1)) != "s") return false;
  uint64_t v = 0;
  if (!parseByteSize(text.substr(0, slash), &v) || v == 0) return false;
  *bytesPerSecond = v;
  return true;
}

std::string byteSizeText(uint64_t bytes) {
  static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  int u = 0;
  double v = double(bytes);
  while (v >= 1024.0 && u < 6) {
    v /= 1024.0;
    ++u;
  }
  char text[32];
  if (u == 0 || v == double(uint64_t(v))) {
    std::snprintf(text, sizeof text, "%llu %s", (unsigned long long)v, units[u]);
  } else {
    std::snprintf(text, sizeof text, "%.2f %s", v, units[u]);
  }
  return text;
}

int scenarioBayCount(ScenarioModel model) { return model == ScenarioModel::sywl ? 6 : 2; }

const char* scenarioModelText(ScenarioModel model) {
  switch (model) {
    case ScenarioModel::sywl:
      return "SYWL";
    case ScenarioModel::syw2:
      return "SYW2";
    case ScenarioModel::syw4:
      return "SYW4";
  }
  return "";
}

#include "configtool/platform/settings_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "configtool/platform/text.h"

namespace k470 {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
// A settings file is a few hundred bytes. Anything far larger is not ours
// (K470_SETTINGS pointing at the wrong file); it is not read into memory.
constexpr size_t kMaxFileSize = 1 << 20;
// regedit wraps hex data so that no line is longer than 80 columns.
constexpr size_t kWrapColumn = 77;

// ---- UTF-16LE, the form of string data in hex(1) and hex(2) ----------------

// Decodes UTF-16LE code units up to the first NUL. Lone surrogates become
// U+FFFD. With stopAtNul false, NULs are kept (whole-file decoding).
std::string Utf16LeToUtf8(const uint8_t* data, size_t length, bool stopAtNul) {
  std::string out;
  size_t units = length / 2;
  for (size_t i = 0; i < units; ++i) {
    uint32_t unit = data[2 * i] | (data[2 * i + 1] << 8);
    if (unit == 0 && stopAtNul) break;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
      uint32_t next = data[2 * i + 2] | (data[2 * i + 3] << 8);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    AppendUtf8(out, unit);
  }
  return out;
}

// Encodes UTF-8 as UTF-16LE with the terminating NUL, as the registry stores
// a string. A malformed sequence becomes U+FFFD.
std::vector<uint8_t> Utf8ToUtf16Le(std::string_view text) {
  std::vector<uint8_t> out;
  auto put = [&out](uint32_t unit) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  };
  size_t i = 0;
  while (i < text.size()) {
    uint8_t lead = static_cast<uint8_t>(text[i]);
    uint32_t cp = 0xFFFD;
    size_t extra = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1F;
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0F;
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      cp = lead & 0x07;
      extra = 3;
    }
    bool ok = lead < 0x80 || extra > 0;
    for (size_t k = 1; ok && k <= extra; ++k) {
      if (i + k >= text.size() || (static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
      }
    }
    // Overlong forms are malformed too: C0 80 must not smuggle in a NUL.
    static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      cp = 0xFFFD;
      extra = 0;
    }
    i += 1 + extra;
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  put(0);
  return out;
}

// ---- small text helpers --------------------------------------------------

std::string_view TrimView(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<uint32_t> ParseHexNumber(std::string_view digits, size_t maxDigits) {
  if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return value;
}

// "xx,xx,..." with white space and line continuations already removed.
std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view list) {
  std::vector<uint8_t> bytes;
  if (list.empty()) return bytes;
  size_t pos = 0;
  for (;;) {
    size_t comma = list.find(',', pos);
    std::string_view item = list.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
    auto value = ParseHexNumber(item, 2);
    if (!value) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(*value));
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  return bytes;
}

// A quoted text with regedit's two escapes, \\ and \". Returns the position
// after the closing quote, or npos when the text is not well formed.
size_t ParseQuoted(std::string_view line, size_t pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return std::string_view::npos;
  out.clear();
  for (size_t i = pos + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') return i + 1;
    if (c == '\\') {
      if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) return std::string_view::npos;
      out += line[++i];
    } else {
      out += c;
    }
  }
  return std::string_view::npos;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// Where a value line's name ends: the position of the '=' after the name,
// or npos. name receives the name ("" for the default value '@').
size_t ParseValueName(std::string_view line, std::string& name) {
  size_t pos;
  if (!line.empty() && line[0] == '@') {
    name.clear();
    pos = 1;
  } else {
    pos = ParseQuoted(line, 0, name);
    if (pos == std::string_view::npos) return pos;
  }
  return (pos < line.size() && line[pos] == '=') ? pos : std::string_view::npos;
}

bool IsHexData(std::string_view data) { return data.substr(0, 3) == "hex"; }

bool IsContinuation(std::string_view line) {
  std::string_view trimmed = TrimView(line);
  return !trimmed.empty() && trimmed.front() != '[' && trimmed.front() != '"' && trimmed.front() != '@' &&
         trimmed.front() != ';';
}

std::string FullKeyPath(std::string_view keyPath) {
  std::string path(kSettingsRoot);
  path += '\\';
  path += keyPath;
  return path;
}

// ---- file system ---------------------------------------------------------

enum class FileState { Missing, Ok, Unusable };

FileState ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  if (path.empty()) return FileState::Missing;
  int fd;
  do {
    // Non-blocking, so a FIFO at the settings path cannot hang the program.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? FileState::Missing : FileState::Unusable;
  struct stat st {};
  FileState state = FileState::Ok;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > kMaxFileSize) {
    state = FileState::Unusable;
  } else {
    char buffer[4096];
    for (;;) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        state = FileState::Unusable;
        break;
      }
      if (n == 0) break;
      out.append(buffer, static_cast<size_t>(n));
      if (out.size() > kMaxFileSize) {
        state = FileState::Unusable;
        break;
      }
    }
  }
  ::close(fd);
  if (state != FileState::Ok) out.clear();
  return state;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// mkdir -p. New directories are private (0700), as the XDG rules ask for
// configuration directories.
bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// A writer killed between creating its temporary file and renaming it leaves
// the temporary behind. Each temporary carries its writer's PID, so the next
// writer removes those whose writer is gone.
void RemoveStaleTemporaries(const std::string& dir, const std::string& prefix) {
  DIR* handle = ::opendir(dir.c_str());
  if (handle == nullptr) return;
  while (dirent* entry = ::readdir(handle)) {
    std::string_view name = entry->d_name;
    if (name.substr(0, prefix.size()) != prefix) continue;
    std::string_view rest = name.substr(prefix.size());
    size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string_view::npos) continue;
    long pid = 0;
    bool digits = true;
    for (char c : rest.substr(0, dot)) {
      if (c < '0' || c > '9' || pid > 100000000) {
        digits = false;
        break;
      }
      pid = pid * 10 + (c - '0');
    }
    if (!digits || pid <= 0 || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      ::unlink((dir + "/" + std::string(name)).c_str());
    }
  }
  ::closedir(handle);
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace

// ---- RegValue --------------------------------------------------------------

RegValue RegValue::Dword(uint32_t value) {
  RegValue v;
  v.type = REG_DWORD;
  v.number = value;
  return v;
}

RegValue RegValue::String(std::string value) {
  RegValue v;
  v.type = REG_SZ;
  v.text = std::move(value);
  return v;
}

RegValue RegValue::ExpandString(std::string value) {
  RegValue v;
  v.type = REG_EXPAND_SZ;
  v.text = std::move(value);
  return v;
}

std::optional<RegValue> ParseRegData(std::string_view data) {
  data = TrimView(data);
  if (!data.empty() && data[0] == '"') {
    std::string text;
    size_t end = ParseQuoted(data, 0, text);
    if (end != data.size()) return std::nullopt;
    return RegValue::String(std::move(text));
  }
  if (data.substr(0, 6) == "dword:") {
    auto number = ParseHexNumber(data.substr(6), 8);
    if (!number) return std::nullopt;
    return RegValue::Dword(*number);
  }
  if (!IsHexData(data)) return std::nullopt;  // "-" (a removal) ends here too
  uint32_t type = REG_BINARY;
  size_t colon;
  if (data.substr(0, 4) == "hex:") {
    colon = 3;
  } else if (data.substr(0, 4) == "hex(") {
    size_t close = data.find(')');
    if (close == std::string_view::npos || close + 1 >= data.size() || data[close + 1] != ':') return std::nullopt;
    auto number = ParseHexNumber(data.substr(4, close - 4), 8);
    if (!number) return std::nullopt;
    type = *number;
    colon = close + 1;
  } else {
    return std::nullopt;
  }
  // Line continuations and white space between the bytes do not count.
  std::string list;
  for (size_t i = colon + 1; i < data.size(); ++i) {
    char c = data[i];
    if (c == '\\') {
      // A backslash continues the list on the next line and nowhere else.
      size_t next = i + 1;
      while (next < data.size() && (data[next] == ' ' || data[next] == '\t' || data[next] == '\r')) ++next;
      if (next >= data.size() || data[next] != '\n') return std::nullopt;
      continue;
    }
    if (!IsSpace(c)) list += c;
  }
  if (!list.empty() && list.back() == ',') return std::nullopt;
  auto bytes = ParseHexBytes(list);
  if (!bytes) return std::nullopt;

  RegValue value;
  value.type = type;
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    if (bytes->size() % 2 != 0) return std::nullopt;
    value.text = Utf16LeToUtf8(bytes->data(), bytes->size(), true);
  } else if (type == REG_DWORD) {
    // A number of another size would not fit the 4-byte buffer it is read
    // into; such a value is as good as missing.
    if (bytes->size() != 4) return std::nullopt;
    value.number = static_cast<uint32_t>((*bytes)[0]) | (static_cast<uint32_t>((*bytes)[1]) << 8) |
                   (static_cast<uint32_t>((*bytes)[2]) << 16) | (static_cast<uint32_t>((*bytes)[3]) << 24);
  } else {
    value.bytes = std::move(*bytes);
  }
  return value;
}

std::string FormatRegValueLine(std::string_view name, const RegValue& value) {
  std::string line = name.empty() ? std::string("@") : Quote(name);
  line += '=';
  std::vector<uint8_t> bytes;
  std::string prefix;
  switch (value.type) {
    case REG_DWORD:
      return line + Format("dword:%08x", value.number);
    case REG_SZ:
      // A line break or NUL cannot stand inside quotes; such a text is
      // written in the hex form regedit uses for it.
      if (value.text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos) {
        return line + Quote(value.text);
      }
      bytes = Utf8ToUtf16Le(value.text);
      prefix = "hex(1):";
      break;
    case REG_EXPAND_SZ:
      bytes = Utf8ToUtf16Le(value.text);
      prefix = "hex(2):";
      break;
    case REG_BINARY:
      bytes = value.bytes;
      prefix = "hex:";
      break;
    default:
      bytes = value.bytes;
      prefix = Format("hex(%x):", value.type);
      break;
  }
  line += prefix;
  size_t column = line.size();
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string item = Format("%02x", bytes[i]);
    if (i + 1 < bytes.size()) item += ',';
    if (column + item.size() > kWrapColumn && i > 0) {
      line += "\\\n  ";
      column = 2;
    }
    line += item;
    column += item.size();
  }
  return line;
}

// ---- RegDocument -----------------------------------------------------------

RegDocument::RegDocument() = default;

std::optional<RegDocument> RegDocument::Parse(std::string_view bytes) {
  std::string text;
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
    // regedit saves exports as UTF-16LE with a byte-order mark.
    text = Utf16LeToUtf8(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2, false);
  } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    text = bytes.substr(3);
  } else {
    text = bytes;
  }

  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    // Every CR before the line end goes, so a line never ends in one and the
    // LF lines we write read back the same.
    while (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    pos = end + 1;
  }

  RegDocument doc;
  bool blank = true;
  for (const auto& line : lines) blank = blank && TrimView(line).empty();
  if (blank) return doc;
  if (TrimView(lines[0]) != kHeader) return std::nullopt;

  for (size_t i = 1; i < lines.size(); ++i) {
    std::string_view trimmed = TrimView(lines[i]);
    if (!trimmed.empty() && trimmed.front() == '[' && trimmed.back() == ']') {
      Section section;
      section.raw = lines[i];
      std::string_view path = trimmed.substr(1, trimmed.size() - 2);
      if (!path.empty() && path.front() == '-') {
        section.deleted = true;
        path.remove_prefix(1);
      }
      section.path = path;
      doc.sections_.push_back(std::move(section));
      continue;
    }
    Entry entry;
    entry.raw = lines[i];
    std::string name;
    size_t equals = ParseValueName(lines[i], name);
    if (equals != std::string::npos) {
      std::string data = lines[i].substr(equals + 1);
      if (IsHexData(TrimView(data))) {
        // Hex data continues on the next line after a trailing backslash,
        // but never into a blank line, a key, a value or a comment: a stray
        // backslash must not swallow the rest of the file.
        std::string_view last = TrimView(lines[i]);
        while (!last.empty() && last.back() == '\\' && i + 1 < lines.size() && IsContinuation(lines[i + 1])) {
          ++i;
          entry.raw += '\n';
          entry.raw += lines[i];
          data += '\n';
          data += lines[i];
          last = TrimView(lines[i]);
        }
      }
      entry.name = std::move(name);
      entry.value = ParseRegData(data);
    }
    if (doc.sections_.empty()) {
      doc.preamble_.push_back(std::move(entry));
    } else {
      doc.sections_.back().entries.push_back(std::move(entry));
    }
  }
  return doc;
}

std::optional<RegValue> RegDocument::Find(std::string_view keyPath, std::string_view name) const {
  // In file order, as an import applies it: a removal of the key forgets
  // everything before it, and a later line for the same name wins.
  std::optional<RegValue> found;
  for (const auto& section : sections_) {
    if (!EqualsIgnoreCase(section.path, keyPath)) continue;
    if (section.deleted) {
      found.reset();
      continue;
    }
    for (const auto& entry : section.entries) {
      if (entry.name && EqualsIgnoreCase(*entry.name, name)) found = entry.value;
    }
  }
  return found;
}

bool RegDocument::HasKey(std::string_view keyPath) const {
  bool exists = false;
  for (const auto& section : sections_) {
    if (EqualsIgnoreCase(section.path, keyPath)) exists = !section.deleted;
  }
  return exists;
}

void RegDocument::Set(std::string_view keyPath, std::string_view name, const RegValue& value) {
  // Only sections after the key's last removal count.
  size_t first = 0;
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (sections_[i].deleted && EqualsIgnoreCase(sections_[i].path, keyPath)) first = i + 1;
  }
  Entry entry;
  entry.raw = FormatRegValueLine(name, value);
  entry.name = std::string(name);
  entry.value = value;

  Entry* existing = nullptr;
  Section* lastSection = nullptr;
  for (size_t i = first; i < sections_.size(); ++i) {
    Section& section = sections_[i];
    if (section.deleted || !EqualsIgnoreCase(section.path, keyPath)) continue;
    lastSection = &section;
    for (auto& e : section.entries) {
      if (e.name && EqualsIgnoreCase(*e.name, name)) existing = &e;
    }
  }
  if (existing != nullptr) {
    // The name keeps the spelling the file had.
    entry.raw = FormatRegValueLine(*existing->name, value);
    entry.name = existing->name;
    *existing = std::move(entry);
    return;
  }
  if (lastSection != nullptr) {
    // After the key's last value, before the blank lines that close it.
    auto& entries = lastSection->entries;
    size_t at = entries.size();
    while (at > 0 && TrimView(entries[at - 1].raw).empty()) --at;
    entries.insert(entries.begin() + static_cast<long>(at), std::move(entry));
    return;
  }
  // A new key, set off from what comes before by one blank line, as regedit
  // writes it.
  std::vector<Entry>& tail = sections_.empty() ? preamble_ : sections_.back().entries;
  bool endsBlank = !tail.empty() && TrimView(tail.back().raw).empty();
  if (!endsBlank) tail.push_back(Entry{});
  Section section;
  section.path = std::string(keyPath);
  section.raw = "[" + section.path + "]";
  section.entries.push_back(std::move(entry));
  section.entries.push_back(Entry{});
  sections_.push_back(std::move(section));
}

std::string RegDocument::Serialize() const {
  std::string out(kHeader);
  out += '\n';
  for (const auto& entry : preamble_) out += entry.raw + '\n';
  for (const auto& section : sections_) {
    out += section.raw + '\n';
    for (const auto& entry : section.entries) out += entry.raw + '\n';
  }
  return out;
}

// ---- paths -----------------------------------------------------------------

std::optional<std::string> ProcessEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string DefaultSettingsPath(const EnvLookup& env) {
  if (auto path = env("K470_SETTINGS"); path && !path->empty()) return *path;
  // The XDG rules say a relative XDG_CONFIG_HOME is to be ignored.
  if (auto config = env("XDG_CONFIG_HOME"); config && !config->empty() && (*config)[0] == '/') {
    return *config + "/Corvane/Lumora.reg";
  }
  std::string home;
  if (auto value = env("HOME"); value && !value->empty()) {
    home = *value;
  } else {
    struct passwd entry {};
    struct passwd* result = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr) {
      home = result->pw_dir;
    }
  }
  if (home.empty()) return std::string();
  return home + "/.config/Corvane/Lumora.reg";
}

// ---- SettingsStore ---------------------------------------------------------

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {}

SettingsStore SettingsStore::AtDefaultPath(const EnvLookup& env) { return SettingsStore(DefaultSettingsPath(env)); }

std::optional<RegValue> SettingsStore::Query(std::string_view keyPath, std::string_view name) const {
  std::string bytes;
  if (ReadWholeFile(path_, bytes) != FileState::Ok) return std::nullopt;
  auto doc = RegDocument::Parse(bytes);
  if (!doc) return std::nullopt;
  return doc->Find(FullKeyPath(keyPath), name);
}

bool SettingsStore::KeyExists(std::string_view keyPath) const {
  std::string bytes;
  if (ReadWholeFile(path_, bytes) != FileState::Ok) return false;
  auto doc = RegDocument::Parse(bytes);
  return doc && doc->HasKey(FullKeyPath(keyPath));
}

bool SettingsStore::Write(std::string_view keyPath, const std::vector<RegUpdate>& updates) {
  if (path_.empty()) return false;
  std::string target = path_;
  // A settings file that is a symbolic link (kept in a dotfiles repository,
  // say) stays a link: the rename replaces the file it points to.
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(target.c_str(), nullptr), &std::free);
    if (!real) return false;
    target = real.get();
  }
  size_t slash = target.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.empty() || !MakeDirectories(dir)) return false;

  // Two programs saving at once must not lose each other's values: the
  // read-modify-write runs under a lock on the directory.
  Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() < 0) return false;
  int locked;
  do {
    locked = ::flock(dirFd.get(), LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  // Without the lock (a file system that does not support it) we go on.

  std::string bytes;
  FileState state = ReadWholeFile(target, bytes);
  if (state == FileState::Unusable) return false;
  RegDocument doc;
  if (state == FileState::Ok) {
    auto parsed = RegDocument::Parse(bytes);
    if (!parsed) return false;
    doc = std::move(*parsed);
  }
  std::string fullPath = FullKeyPath(keyPath);
  for (const auto& update : updates) doc.Set(fullPath, update.name, update.value);
  std::string text = doc.Serialize();

  mode_t mode = 0644;
  if (state == FileState::Ok && ::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

  std::string prefix = "." + base + ".";
  RemoveStaleTemporaries(dir, prefix);
  std::string temp = dir + "/" + prefix + std::to_string(::getpid()) + ".XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  bool ok = WriteAll(fd.get(), text) && ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0;
  ok = (::close(fd.release()) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename is durable only once the directory is on disk too.
  ::fsync(dirFd.get());
  return true;
}

}  // namespace k470

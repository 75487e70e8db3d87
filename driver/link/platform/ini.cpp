#include "ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <vector>

namespace termina::ini {
namespace {

// One line of the file: its text without the line end, and whether a line
// end followed it (the last line of a file may have none).
struct Line {
  std::string text;
  bool terminated = true;
};

struct Document {
  std::vector<Line> lines;
  bool crlf = false;  // the file's line ends are CRLF
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

// The name of a "[section]" line, or nothing for any other line.
std::optional<std::string_view> sectionName(std::string_view line) {
  const std::string_view t = trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  const std::size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(t.substr(1, close - 1));
}

struct KeyValue {
  std::string_view key;
  std::string_view value;
};

// The key and value of a "key=value" line; comments and lines without '='
// are not key lines.
std::optional<KeyValue> keyValue(std::string_view line) {
  const std::string_view t = trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyValue{trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

std::optional<std::string> readFile(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      data.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return data;
}

Document parse(std::string_view data) {
  Document doc;
  doc.crlf = data.find("\r\n") != std::string_view::npos;
  std::size_t pos = 0;
  while (pos < data.size()) {
    const std::size_t nl = data.find('\n', pos);
    Line line;
    if (nl == std::string_view::npos) {
      line.text = std::string(data.substr(pos));
      line.terminated = false;
      pos = data.size();
    } else {
      line.text = std::string(data.substr(pos, nl - pos));
      pos = nl + 1;
    }
    // A CR before the LF belongs to the line end; a CR that ends the file
    // without an LF is kept with the line, so the line is written back as
    // it was.
    if (line.terminated && !line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    doc.lines.push_back(std::move(line));
  }
  return doc;
}

// Gives the unterminated last line a line end.  Carriage returns it ends
// with are dropped: the reader takes them for blanks, and before a line
// feed they would turn into a CRLF line end the file did not have.
void terminate(Line& line) {
  while (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
  line.terminated = true;
}

std::string serialise(const Document& doc) {
  const char* eol = doc.crlf ? "\r\n" : "\n";
  std::string out;
  for (const Line& line : doc.lines) {
    out += line.text;
    if (line.terminated) out += eol;
  }
  return out;
}

// Index range [first, end) of the lines after the header of the first
// section called `section`; nothing when the file has no such section.
struct SectionRange {
  std::size_t header;
  std::size_t end;
};

std::optional<SectionRange> findSection(const Document& doc, std::string_view section) {
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    const auto name = sectionName(doc.lines[i].text);
    if (!name || !sameName(*name, section)) continue;
    std::size_t end = i + 1;
    while (end < doc.lines.size() && !sectionName(doc.lines[end].text)) ++end;
    return SectionRange{i, end};
  }
  return std::nullopt;
}

std::optional<std::string> lookup(const std::string& file, std::string_view section, std::string_view key) {
  const auto data = readFile(file);
  if (!data) return std::nullopt;
  return findValue(*data, section, key);
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Threads of one process must not interleave their read-modify-write cycles.
std::mutex& writeMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

unsigned readInt(const std::string& file, std::string_view section, std::string_view key, unsigned def) {
  const auto value = lookup(file, section, key);
  return value ? leadingInt(*value) : def;
}

std::string readString(const std::string& file, std::string_view section, std::string_view key,
                       std::string_view def, std::size_t bufferSize) {
  const std::size_t limit = bufferSize == 0 ? 0 : bufferSize - 1;
  const auto value = lookup(file, section, key);
  std::string result = value ? *value : std::string(def);
  if (result.size() > limit) result.resize(limit);
  return result;
}

std::optional<std::string> findValue(std::string_view content, std::string_view section, std::string_view key) {
  const Document doc = parse(content);
  const auto range = findSection(doc, trim(section));
  if (!range) return std::nullopt;
  const std::string_view wanted = trim(key);
  for (std::size_t i = range->header + 1; i < range->end; ++i) {
    const auto kv = keyValue(doc.lines[i].text);
    if (kv && sameName(kv->key, wanted)) return std::string(kv->value);
  }
  return std::nullopt;
}

unsigned leadingInt(std::string_view value) {
  unsigned long long n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') break;
    n = n * 10 + static_cast<unsigned>(c - '0');
    if (n > UINT_MAX) return UINT_MAX;
  }
  return static_cast<unsigned>(n);
}

std::optional<std::string> withValue(std::string_view content, std::string_view section, std::string_view key,
                                     std::string_view value) {
  section = trim(section);
  key = trim(key);
  value = trim(value);
  if (key.empty() || hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
      section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
      key.front() == ';' || key.front() == '[')
    return std::nullopt;

  Document doc = parse(content);
  const std::string keyLine = std::string(key) + "=" + std::string(value);
  const auto range = findSection(doc, section);
  if (range) {
    bool replaced = false;
    for (std::size_t i = range->header + 1; i < range->end; ++i) {
      const auto kv = keyValue(doc.lines[i].text);
      if (kv && sameName(kv->key, key)) {
        doc.lines[i].text = std::string(kv->key) + "=" + std::string(value);
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      // After the section's last non-blank line, before the blank lines
      // that separate it from the next section.
      std::size_t at = range->end;
      while (at > range->header + 1 && trim(doc.lines[at - 1].text).empty()) --at;
      if (at > 0 && !doc.lines[at - 1].terminated) terminate(doc.lines[at - 1]);
      doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at), Line{keyLine, true});
    }
  } else {
    if (!doc.lines.empty()) {
      if (!doc.lines.back().terminated) terminate(doc.lines.back());
      if (!trim(doc.lines.back().text).empty()) doc.lines.push_back(Line{"", true});
    }
    doc.lines.push_back(Line{"[" + std::string(section) + "]", true});
    doc.lines.push_back(Line{keyLine, true});
  }

  return serialise(doc);
}

bool writeString(const std::string& file, std::string_view section, std::string_view key, std::string_view value) {
  std::lock_guard<std::mutex> lock(writeMutex());

  // Write through a symbolic link to the file it names, so the link stays.
  std::string target = file;
  if (char* real = ::realpath(file.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }

  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  std::string data;
  if (exists) {
    auto old = readFile(target);
    if (!old) return false;
    data = std::move(*old);
  }
  const auto content = withValue(data, section, key, value);
  if (!content) return false;

  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = dir + (slash == std::string::npos ? "/." : ".") + base + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, exists ? (st.st_mode & 07777) : 0600) == 0;
  if (ok && exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
    // Keep the owner where permitted (as root); an unprivileged writer
    // cannot change it, which is not an error.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      // left to the writer's own account
    }
  }
  ok = ok && writeAll(fd, *content) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace termina::ini

// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ini.h"

#include <climits>
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

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

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

bool validEntry(std::string_view section, std::string_view key, std::string_view value) {
  section = trim(section);
  key = trim(key);
  return !key.empty() && !hasLineBreak(section) && !hasLineBreak(key) && !hasLineBreak(value) &&
         section.find(']') == std::string_view::npos && key.find('=') == std::string_view::npos && key.front() != ';' &&
         key.front() != '[';
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
  if (!validEntry(section, key, value)) return std::nullopt;

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

}  // namespace termina::ini

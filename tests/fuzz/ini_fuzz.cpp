// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader and writer on file content in memory.  The input is
// content, section, key and value separated by 0x00 bytes.  Setting a value
// must either be refused for a name or value that would break the line
// structure, or give content in which the value reads back (blanks around
// it dropped), every line of the old content is still there in order (only
// the key's own line may change), and every other key reads as before.
#include "fuzz_check.h"
#include "ini.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace termina;

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// Lines of a content, without their line ends.  Carriage returns at the
// end of a line count as part of its line end: the reader takes them for
// blanks, and the writer may drop them from a last line it terminates.
std::vector<std::string> lines(std::string_view c) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < c.size()) {
    std::size_t nl = c.find('\n', pos);
    std::string l(c.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos));
    while (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(std::move(l));
    pos = nl == std::string_view::npos ? c.size() : nl + 1;
  }
  return out;
}

bool refusedName(std::string_view section, std::string_view key, std::string_view value) {
  section = trimmed(section);
  key = trimmed(key);
  value = trimmed(value);
  auto breaks = [](std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; };
  return key.empty() || breaks(section) || breaks(key) || breaks(value) ||
         section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos || key.front() == ';' ||
         key.front() == '[';
}

// The "[section]" and "key=value" names of a content, in the reader's terms.
struct Pair {
  std::string section, key;
};
std::vector<Pair> pairs(const std::vector<std::string>& ls) {
  std::vector<Pair> out;
  std::string section;
  bool inSection = false;
  for (const auto& l : ls) {
    std::string_view t = trimmed(l);
    if (t.size() >= 2 && t.front() == '[' && t.find(']') != std::string_view::npos) {
      section = std::string(trimmed(t.substr(1, t.find(']') - 1)));
      inSection = true;
      continue;
    }
    if (!inSection || t.empty() || t.front() == ';' || t.front() == '[') continue;
    std::size_t eq = t.find('=');
    if (eq != std::string_view::npos) out.push_back({section, std::string(trimmed(t.substr(0, eq)))});
  }
  return out;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string_view part[4];
  for (int k = 0; k < 3; ++k) {
    std::size_t z = in.find('\0');
    part[k] = in.substr(0, z);
    in = z == std::string_view::npos ? std::string_view() : in.substr(z + 1);
  }
  part[3] = in;
  const std::string_view content = part[0], section = part[1], key = part[2], value = part[3];

  // Reading never fails on any content.
  (void)ini::findValue(content, section, key);
  (void)ini::leadingInt(value);

  auto out = ini::withValue(content, section, key, value);
  FUZZ_CHECK(out.has_value() == !refusedName(section, key, value));
  if (!out) return 0;

  // The value reads back.
  auto back = ini::findValue(*out, section, key);
  FUZZ_CHECK(back && *back == trimmed(value));

  // Every old line is still there, in order; at most the key's own line
  // changed, and at most a blank line, a section header and the key line
  // were added.
  const auto before = lines(content);
  const auto after = lines(*out);
  FUZZ_CHECK(after.size() >= before.size() && after.size() <= before.size() + 3);
  if (after.size() == before.size()) {
    // Replaced in place: at most one line differs.
    std::size_t diff = 0;
    for (std::size_t i = 0; i < before.size(); ++i) diff += before[i] != after[i];
    FUZZ_CHECK(diff <= 1);
  } else {
    // Inserted: the old lines are the new ones with the added ones left out.
    std::size_t j = 0;
    for (const auto& l : after)
      if (j < before.size() && l == before[j]) ++j;
    FUZZ_CHECK(j == before.size());
  }

  // Every other key reads as it did.  Each lookup scans the whole
  // content, so a content with thousands of keys checks an even spread of
  // at most kChecked of them: that keeps an execution linear in the input.
  const auto all = pairs(before);
  constexpr std::size_t kChecked = 32;
  const std::size_t step = all.size() <= kChecked ? 1 : all.size() / kChecked;
  for (std::size_t i = 0; i < all.size(); i += step) {
    const auto& p = all[i];
    if (sameName(trimmed(p.section), trimmed(section)) && sameName(p.key, trimmed(key))) continue;
    FUZZ_CHECK(ini::findValue(content, p.section, p.key) == ini::findValue(*out, p.section, p.key));
  }

  // Writing the same value again changes nothing.
  auto again = ini::withValue(*out, section, key, value);
  FUZZ_CHECK(again && *again == *out);
  return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The keys of `trma --json` are the keys the manual page lists: every
// command with JSON output runs against the simulator, and the keys of what
// it printed (nested objects too, where the page lists their keys) are
// compared with the page's, read from cli/trma.h2m.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <nlohmann/json.hpp>

#include "../app/bitmap_files.h"
#include "backups.h"
#include "cli.h"
#include "json_out.h"
#include "simulator.h"
#include "trma_fixture.h"

namespace {

using nlohmann::json;
using termina::sim::Simulator;
using termina::test::ProcessResult;
using Keys = std::set<std::string>;  // "version", "fatal.byte", "ports.com"

std::string join(const std::string& parent, const std::string& key) {
  return parent.empty() ? key : parent + "." + key;
}

// What one entry of the page's JSON section lists.
struct PageEntry {
  Keys listed;   // the bold names of the text: "name: a, b;" lists the keys of name's object
  Keys example;  // the keys of the examples (which may leave keys out with "...")
};

// The keys of a JSON example as the page writes it ("..." and ".." stand
// for left-out keys and values, so it is not parsed as JSON).
void exampleKeys(const std::string& s, Keys& out) {
  std::vector<std::string> open;  // the path of each open object or array
  std::string pending;            // the path a container opened now belongs to
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      const std::size_t end = s.find('"', i + 1);
      const std::string text = s.substr(i + 1, end - i - 1);
      i = end;
      const std::size_t next = s.find_first_not_of(' ', i + 1);
      if (next != std::string::npos && s[next] == ':' && !open.empty()) {
        pending = join(open.back(), text);
        out.insert(pending);
      }
    } else if (c == '{' || c == '[') {
      open.push_back(pending);
    } else if (c == '}' || c == ']') {
      if (!open.empty()) open.pop_back();
      pending = open.empty() ? "" : open.back();
    } else if (c == ',') {
      pending = open.empty() ? "" : open.back();
    }
  }
}

bool isKeyName(const std::string& s) {
  if (s.empty() || s[0] < 'a' || s[0] > 'z') return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

// The keys of an entry's text: bold names outside parentheses; a colon
// right after a name (remarks between allowed) opens the list of its
// object's keys, which ends at a semicolon or the end of a sentence.
Keys proseKeys(const std::string& s) {
  Keys out;
  std::string parent, last;  // last: the name read just before, if nothing but remarks came after it
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '(') {
      int depth = 1;
      while (++i < s.size() && depth > 0) depth += s[i] == '(' ? 1 : s[i] == ')' ? -1 : 0;
      --i;
    } else if (s.compare(i, 3, "\\fB") == 0) {
      const std::size_t end = s.find("\\fR", i);
      const std::string word = s.substr(i + 3, end - i - 3);
      i = end + 2;
      if (isKeyName(word)) {
        last = join(parent, word);
        out.insert(last);
      } else {
        last.clear();
      }
    } else if (s[i] == ':' && !last.empty()) {
      parent = last;
      last.clear();
    } else if (s[i] == ';' || (s[i] == '.' && (i + 1 == s.size() || s[i + 1] == ' '))) {
      parent.clear();
      last.clear();
    } else if (s[i] != ' ') {
      last.clear();
    }
  }
  return out;
}

// The entries of the page's JSON section by command.
std::map<std::string, PageEntry> pageEntries(const std::string& path) {
  std::ifstream in(path);
  std::map<std::string, PageEntry> entries;
  std::map<std::string, std::string> texts;
  bool inSection = false;
  std::string command, lineText;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '[') {
      inSection = line == "[JSON OUTPUT]";
      command.clear();
      continue;
    }
    if (!inSection) continue;
    if (line == ".TP") {
      command.clear();
      std::getline(in, line);
      if (line.rfind(".B ", 0) == 0) command = line.substr(3);
      continue;
    }
    if (command.empty() || (!line.empty() && line[0] == '.')) continue;
    for (std::size_t at; (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
    texts[command] += line + " ";
  }
  for (auto& [name, text] : texts) {
    PageEntry& e = entries[name];
    // Examples are bold objects: taken out of the text, their keys read.
    for (std::size_t at; (at = text.find("\\fB{")) != std::string::npos;) {
      std::size_t i = at + 3;
      int depth = 0;
      do {
        if (text[i] == '"') i = text.find('"', i + 1);
        depth += text[i] == '{' ? 1 : text[i] == '}' ? -1 : 0;
        ++i;
      } while (depth > 0 && i < text.size());
      exampleKeys(text.substr(at + 3, i - at - 3), e.example);
      text.erase(at, text.compare(i, 3, "\\fR") == 0 ? i + 3 - at : i - at);
    }
    e.listed = proseKeys(text);
  }
  return entries;
}

// Every key of the objects printed, arrays of objects counted as objects.
void outputKeys(const json& j, const std::string& parent, Keys& out) {
  if (j.is_array())
    for (const json& e : j) outputKeys(e, parent, out);
  if (!j.is_object()) return;
  for (const auto& [key, value] : j.items()) {
    out.insert(join(parent, key));
    outputKeys(value, join(parent, key), out);
  }
}

// The keys printed that the page must list: top level, and inside the
// objects whose keys the page lists.
Keys comparable(const Keys& printed, const Keys& page) {
  Keys out;
  for (const std::string& k : printed) {
    const std::size_t dot = k.rfind('.');
    if (dot == std::string::npos) {
      out.insert(k);
      continue;
    }
    const std::string parent = k.substr(0, dot);
    for (const std::string& p : page)
      if (p.rfind(parent + ".", 0) == 0) {
        out.insert(k);
        break;
      }
  }
  return out;
}

class TrmaJsonKeys : public termina::test::TrmaRoot {
 protected:
  Simulator sim;
  std::string tcp = "127.0.0.1:" + std::to_string(sim.listenTcp());
  std::map<std::string, std::vector<json>> printed;  // by command, every object it printed

  // trma --json; the one line it printed is kept under the command's name.
  void run(const std::string& name, std::vector<std::string> args, int expectedExit = 0,
           std::vector<std::string> leading = {}) {
    if (leading.empty()) leading = {"--timeout", "3", "--tcp", tcp};
    leading.push_back("--json");
    const ProcessResult r = runTrma(leading, args);
    EXPECT_EQ(r.exitCode, expectedExit) << name << ": " << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << name << ": " << r.out;
    const json j = json::parse(r.out, nullptr, false);
    EXPECT_TRUE(j.is_object()) << name << ": " << r.out;
    printed[name].push_back(j);
  }
};

TEST_F(TrmaJsonKeys, EveryCommandPrintsTheKeysTheManualPageLists) {
  sim.setReady();
  sim.addFiscalHistory(2);
  run("status", {"status"});
  run("version", {"version"});
  run("shift", {"shift"});
  run("registration", {"registration"});
  run("eej", {"eej"});
  run("clock", {"clock"});
  run("config get", {"config", "get", "20", "1"});
  const std::string fits = termina::apptest::WriteBytes(dir.file("fits.bmp"), termina::apptest::Bitmap(288, 126));
  const std::string wide = termina::apptest::WriteBytes(dir.file("wide.bmp"), termina::apptest::Bitmap(1000, 100));
  run("logo check", {"logo", "check", fits});
  run("logo check", {"logo", "check", wide}, termina::cli::kExitRefused);
  run("settings show", {"settings", "show"});
  const std::string file = dir.file("settings.frc");
  ASSERT_EQ(runTrma({"--tcp", tcp}, {"settings", "save", file}).exitCode, 0);
  sim.setTable(20, 2, "ДРУГАЯ СТРОКА");
  run("settings diff", {"settings", "diff", file}, 1);
  run("settings backups", {"settings", "backups"});
  const json none = printed["settings backups"].back();
  std::string backup, why;
  ASSERT_TRUE(
      termina::app::WriteBackup(none["folder"], none["prefix"], "frc", std::vector<uint8_t>(10, 0), &backup, &why))
      << why;
  run("settings backups", {"settings", "backups"});
  run("nvr show", {"nvr", "show"});

  // find: a register on a device without a COM number (saved, with a new
  // link), a missing COM link, a silent register; then a password no
  // register can take, which fails every port and finds none.
  Simulator onLine;
  const std::string found = onLine.openPty("");
  Simulator mute;
  mute.openPty(root + "/dev/com4");
  termina::sim::Faults silent;
  silent.silent = true;
  mute.setFaults(silent);
  ASSERT_EQ(::symlink(dir.file("unplugged").c_str(), (root + "/dev/com3").c_str()), 0);
  run("find", {"find", "--ports", found + ",3,4", "--speeds", "19200", "--save"}, 0, {"--timeout", "2"});
  Simulator other;
  other.openPty(root + "/dev/com5");
  run("find", {"find", "--ports", "5", "--speeds", "19200"}, 19, {"--timeout", "2", "--password", "€"});

  const auto page = pageEntries(TRMA_MANPAGE);
  Keys pageCommands, runCommands;
  for (const auto& [name, entry] : page) pageCommands.insert(name);
  for (const auto& [name, objects] : printed) runCommands.insert(name);
  EXPECT_EQ(pageCommands, runCommands) << "every command with JSON output has its entry";

  for (const auto& [name, entry] : page) {
    EXPECT_TRUE(termina::cli::json::supported(name)) << name;
    Keys keys;
    for (const json& j : printed[name]) outputKeys(j, "", keys);
    // An entry that lists no keys in its text shows them all in its example.
    const Keys& listed = entry.listed.empty() ? entry.example : entry.listed;
    EXPECT_EQ(listed, comparable(keys, listed)) << name;
    for (const std::string& k : entry.example) EXPECT_TRUE(keys.count(k)) << name << ": the example's " << k;
  }
}

}  // namespace

// SPDX-License-Identifier: LGPL-2.1-or-later
#include "paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace termina::paths {
namespace {

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  // No HOME (a service or a cleared environment): the account's own folder.
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return "/tmp";
}

bool isDirectory(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string root() {
  std::string r;
  if (const char* env = std::getenv("TERMINA_ROOT"); env && *env)
    r = env;
  else
    r = homeFolder() + "/.local/share/termina";
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

std::string hostPath(std::string_view windowsPath) {
  std::string rest(windowsPath);
  for (char& c : rest)
    if (c == '\\') c = '/';
  const bool hasDrive =
      rest.size() >= 2 && rest[1] == ':' && ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z'));
  if (!hasDrive) return rest;
  const char drive = static_cast<char>(rest[0] | 0x20);  // ASCII lower case
  std::size_t from = 2;
  while (from < rest.size() && rest[from] == '/') ++from;
  std::string out = root() + "/" + drive;
  if (from < rest.size()) out += "/" + rest.substr(from);
  return out;
}

std::string iniPath() { return hostPath("C:\\Program Files\\Orvelsoft\\TERMINA.INI"); }

std::string comDevice(int n) {
  const std::string own = root() + "/dev/com" + std::to_string(n);
  struct stat st {};
  if (n < 1 || ::lstat(own.c_str(), &st) == 0) return own;
  return "/dev/ttyS" + std::to_string(n - 1);
}

bool makeDirs(const std::string& dir) {
  if (dir.empty()) return false;
  std::string path;
  std::size_t pos = 0;
  while (pos <= dir.size()) {
    const std::size_t slash = dir.find('/', pos);
    const std::size_t end = slash == std::string::npos ? dir.size() : slash;
    path = dir.substr(0, end);
    // A failure here is not final: the component may exist already, or be
    // passable without being creatable.  Only the final check counts.
    if (!path.empty()) ::mkdir(path.c_str(), 0755);
    if (slash == std::string::npos) break;
    pos = slash + 1;
  }
  return isDirectory(dir);
}

}  // namespace termina::paths

// SPDX-License-Identifier: GPL-3.0-or-later
// trma: the command-line front end of the driver.  Options set up the INI
// file and the driver, then one command from the table runs.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace termina::cli {

// Exit status for a command line trma cannot use, or a setting it cannot
// store; driver results use their own code (see exitCodeFor).
inline constexpr int kExitUsage = 100;
// Exit status for a file trma cannot read or write.
inline constexpr int kExitFile = 101;
// Exit status when trma's own check refused the input (a logo file) or the
// user did not confirm (a clock a day or more behind), or `find --save` found
// more than one register: nothing was changed.
inline constexpr int kExitRefused = 102;

struct Context {
  std::ostream& out;
  std::ostream& err;
  bool json = false;  // --json: the result as one JSON object on out
};

struct Command {
  std::string_view name;
  std::string_view synopsis;  // arguments after the name, for the usage line
  std::string_view summary;   // one line for the command list
  std::string_view help;      // what `trma NAME --help` adds below the usage line
  std::size_t minArgs;
  std::size_t maxArgs;
  // Returns the exit status.  Driver failures are thrown as uint16_t and
  // reported by run(); a bad argument is reported with UsageError.
  int (*handler)(Context&, const std::vector<std::string>&);
};

// A command line mistake found by a handler; run() prints it with the
// command's usage and exits with kExitUsage.
struct UsageError {
  std::string message;
};

// Options given before the command.
struct Options {
  std::optional<std::string> root;
  std::optional<unsigned> port;
  std::optional<unsigned> speed;
  std::optional<std::string> tcpHost;
  std::optional<unsigned> tcpPort;
  bool serial = false;
  std::optional<std::string> password;  // UTF-8 as typed
  std::optional<uint16_t> timeout;
  bool help = false;
  bool json = false;
  bool trace = false;  // --trace: the exchange on standard error
};

struct ParsedLine {
  Options options;
  std::optional<std::string> command;
  std::vector<std::string> args;
  bool commandHelp = false;  // `trma NAME --help`
};

// Parses argv[1..]; throws UsageError.
ParsedLine parseCommandLine(const std::vector<std::string>& argv);

const std::vector<Command>& commands();
const Command* findCommand(std::string_view name);

std::string toolHelp();
std::string commandHelp(const Command& c);

// Unsigned decimal in [lo, hi]; throws UsageError naming what.
unsigned parseNumber(std::string_view text, unsigned lo, unsigned hi, std::string_view what);

// UTF-8 text converted to code page 1251 that must fit maxBytes; throws
// UsageError naming what.
std::string toAnsiLimited(std::string_view utf8, std::size_t maxBytes, std::string_view what);

// Runs trma.  Returns the exit status.
int run(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);

}  // namespace termina::cli

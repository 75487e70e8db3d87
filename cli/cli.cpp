// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "codepage.h"
#include "exchange_trace.h"
#include "json_out.h"
#include "ini.h"
#include "paths.h"
#include "port_check.h"
#include "report.h"
#include "termina1.h"

namespace termina::cli {
namespace {

// Longest values the driver reads back from the INI file.
constexpr std::size_t kMaxHostName = 19;
constexpr std::size_t kMaxPassword = 59;

bool isSpeed(unsigned s) {
  for (unsigned v : {2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u})
    if (s == v) return true;
  return false;
}

// "--name=value" or "--name value": the value, advancing i past it.
std::string optionValue(const std::vector<std::string>& argv, std::size_t& i, std::string_view name) {
  const std::string& a = argv[i];
  if (a.size() > name.size() && a[name.size()] == '=') return a.substr(name.size() + 1);
  if (i + 1 >= argv.size()) throw UsageError{"у параметра " + std::string(name) + " нет значения"};
  return argv[++i];
}

bool optionIs(const std::string& a, std::string_view name) {
  return a == name || (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=');
}

// Options that are stored in the INI file (and so do something without a
// command).
bool hasSettings(const Options& o) { return o.port || o.speed || o.tcpHost || o.serial || o.password; }

// Stores the connection options in the INI file; throws UsageError when the
// file cannot be written.
void applyOptions(const Options& o) {
  if (o.root) ::setenv("TERMINA_ROOT", o.root->c_str(), 1);
  if (o.timeout) TRMATMOUT = *o.timeout;
  if (o.trace) exchange_trace::toStandardError();
  if (!hasSettings(o)) return;

  const std::string file = paths::iniPath();
  paths::makeDirs(std::filesystem::path(file).parent_path().string());
  const auto put = [&](const char* section, const char* key, const std::string& value) {
    if (!ini::writeString(file, section, key, value))
      throw UsageError{"не удалось записать " + std::string(section) + "/" + key + " в " + file};
  };
  if (o.port) put("General", "Port", std::to_string(*o.port));
  if (o.speed) put("General", "Speed", std::to_string(*o.speed));
  if (o.tcpHost) {
    put("TCP", "Mode", "1");
    put("TCP", "HostName", *o.tcpHost);
    put("TCP", "HostPort", std::to_string(*o.tcpPort));
  }
  if (o.serial) put("TCP", "Mode", "0");
  if (o.password) put("General", "pswd", cp::utf8ToAnsi(*o.password));
}

std::string driverMessage(uint16_t code) {
  TRMA_ERROR_MESSAGE message{};
  TRMA_GetErrorMessage(code, &message);
  return driverTextToUtf8(message);
}

void reportDriverFailure(uint16_t code, const std::string& message, std::ostream& err) {
  err << "trma: " << message << " (код " << code << ")\n";
  if (code == TRMA_E_PORT) {
    unsigned port = ini::readInt(paths::iniPath(), "General", "Port", 0);
    if (port == 0) port = 1;
    if (port > 10000) port = 10000;
    const std::string device = paths::comDevice(static_cast<int>(port));
    const PortDiagnosis d = diagnosePort(device);
    err << "trma: " << explainPort(device, d)
        << (d.problem == PortProblem::Busy ? holdersText(findHolders(device)) : "") << "\n";
  }
}

}  // namespace

unsigned parseNumber(std::string_view text, unsigned lo, unsigned hi, std::string_view what) {
  unsigned long long n = 0;
  bool ok = !text.empty() && text.size() <= 10;
  for (char c : text) {
    if (c < '0' || c > '9') {
      ok = false;
      break;
    }
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  if (!ok || n < lo || n > hi)
    throw UsageError{std::string(what) + ": ожидается число от " + std::to_string(lo) + " до " + std::to_string(hi) +
                     ", получено \"" + std::string(text) + "\""};
  return static_cast<unsigned>(n);
}

std::string toAnsiLimited(std::string_view utf8, std::size_t maxBytes, std::string_view what) {
  const std::string ansi = cp::utf8ToAnsi(utf8);
  if (cp::ansiToUtf8(ansi) != utf8) throw UsageError{std::string(what) + ": есть символы вне кодовой страницы 1251"};
  if (ansi.size() > maxBytes)
    throw UsageError{std::string(what) + ": не более " + std::to_string(maxBytes) + " символов"};
  if (ansi.find('\0') != std::string::npos) throw UsageError{std::string(what) + ": нулевой символ"};
  return ansi;
}

ParsedLine parseCommandLine(const std::vector<std::string>& argv) {
  ParsedLine p;
  Options& o = p.options;
  std::size_t i = 0;
  for (; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a.size() < 2 || a[0] != '-') break;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (optionIs(a, "--root")) {
      o.root = optionValue(argv, i, "--root");
      if (o.root->empty()) throw UsageError{"--root: пустой путь"};
    } else if (optionIs(a, "--port")) {
      o.port = parseNumber(optionValue(argv, i, "--port"), 1, 255, "--port");
    } else if (optionIs(a, "--speed")) {
      const std::string v = optionValue(argv, i, "--speed");
      o.speed = parseNumber(v, 1, 4000000000u, "--speed");
      if (!isSpeed(*o.speed)) throw UsageError{"--speed: допустимы 2400, 4800, 9600, 19200, 38400, 57600, 115200"};
    } else if (optionIs(a, "--tcp")) {
      const std::string v = optionValue(argv, i, "--tcp");
      const std::size_t colon = v.rfind(':');
      if (colon == std::string::npos || colon == 0) throw UsageError{"--tcp: ожидается УЗЕЛ:ПОРТ"};
      o.tcpHost = v.substr(0, colon);
      if (o.tcpHost->size() > kMaxHostName)
        throw UsageError{"--tcp: имя узла не длиннее " + std::to_string(kMaxHostName) + " символов"};
      if (o.tcpHost->find_first_of("\r\n") != std::string::npos) throw UsageError{"--tcp: недопустимое имя узла"};
      o.tcpPort = parseNumber(v.substr(colon + 1), 1, 65535, "--tcp, порт");
    } else if (a == "--serial") {
      o.serial = true;
    } else if (optionIs(a, "--password")) {
      o.password = optionValue(argv, i, "--password");
      toAnsiLimited(*o.password, kMaxPassword, "--password");
      if (o.password->find_first_of("\r\n") != std::string::npos)
        throw UsageError{"--password: перевод строки в пароле"};
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--trace") {
      o.trace = true;
    } else if (optionIs(a, "--timeout")) {
      o.timeout = static_cast<uint16_t>(parseNumber(optionValue(argv, i, "--timeout"), 1, 65535, "--timeout"));
    } else {
      throw UsageError{"неизвестный параметр " + a};
    }
  }
  if (o.tcpHost && o.serial) throw UsageError{"--tcp и --serial исключают друг друга"};
  if (i < argv.size()) {
    p.command = argv[i++];
    for (; i < argv.size(); ++i) {
      if (argv[i] == "--help" || argv[i] == "-h")
        p.commandHelp = true;
      else
        p.args.push_back(argv[i]);
    }
  }
  return p;
}

const Command* findCommand(std::string_view name) {
  for (const Command& c : commands())
    if (c.name == name) return &c;
  return nullptr;
}

std::string commandHelp(const Command& c) {
  std::string s = "Использование: trma [ПАРАМЕТРЫ] " + std::string(c.name);
  if (!c.synopsis.empty()) s += " " + std::string(c.synopsis);
  s += "\n" + std::string(c.summary) + "\n";
  if (!c.help.empty()) s += "\n" + std::string(c.help) + "\n";
  s += "\nПараметры и коды завершения: trma --help\n";
  return s;
}

std::string toolHelp() {
  std::string s =
      "Использование: trma [ПАРАМЕТРЫ] КОМАНДА [АРГУМЕНТЫ]\n"
      "Работа с фискальным регистратором ТЕРМИНА через драйвер.\n"
      "\n"
      "Команды:\n";
  for (const Command& c : commands()) {
    std::string line = "  " + std::string(c.name);
    if (!c.synopsis.empty()) line += " " + std::string(c.synopsis);
    // Pad by characters, not bytes: the synopses are Cyrillic UTF-8.
    std::size_t width = 0;
    for (char ch : line)
      if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++width;
    line += width < 34 ? std::string(34 - width, ' ') : "\n" + std::string(34, ' ');
    s += line + std::string(c.summary) + "\n";
  }
  s += "Справка по команде: trma КОМАНДА --help\n"
       "\n"
       "Параметры (перед командой; --port, --speed, --tcp, --serial и --password\n"
       "записываются в файл настроек драйвера и действуют и в следующие разы):\n"
       "  --root КАТАЛОГ     корень файловой системы драйвера (переменная TERMINA_ROOT;\n"
       "                     по умолчанию $HOME/.local/share/termina)\n"
       "  --port N           последовательный порт COMN, 1..255 (устройство\n"
       "                     КОРЕНЬ/dev/comN, если оно есть, иначе /dev/ttyS<N-1>)\n"
       "  --speed N          скорость: 2400, 4800, 9600, 19200, 38400, 57600, 115200\n"
       "  --tcp УЗЕЛ:ПОРТ    связь через сетевой шлюз (узел не длиннее 19 символов)\n"
       "  --serial           связь через последовательный порт\n"
       "  --password ПАРОЛЬ  пароль обмена данными (до 59 символов)\n"
       "  --timeout N        терпение ожидания ответа, 1..65535 ожиданий (TRMATMOUT)\n"
       "  --json             результат одним объектом JSON (status, version, shift,\n"
       "                     registration, eej, clock, config get, logo check,\n"
       "                     settings show, settings diff, settings backups, nvr show,\n"
       "                     find);\n"
       "                     ошибка как {\"code\":N,\"text\":\"...\"}; ключи: man trma;\n"
       "                     пример: {\"version\":201}\n"
       "  --trace            обмен с регистратором по мере его хода в stderr, строка\n"
       "                     на кадр или управляющий байт (как пишет TERMINA_TRACE)\n"
       "  --help             эта справка\n"
       "Без команды trma только сохраняет параметры.\n"
       "\n"
       "Вывод в UTF-8. Коды завершения:\n"
       "  0        успех\n"
       "  1..255   код результата драйвера или регистратора (текст выводится в stderr);\n"
       "           коды больше 255 (ошибки сокета) дают 1\n"
       "  100      неверная командная строка или не удалось записать файл настроек;\n"
       "           обращения к регистратору не было\n"
       "  101      не удалось прочитать или записать файл, файл настроек отклонен\n"
       "           или его загрузка не подтверждена\n"
       "  102      файл логотипа не прошел проверку или изменение часов не подтверждено;\n"
       "           в регистраторе ничего не изменено; find --save нашел несколько\n"
       "           регистраторов и ничего не сохранил\n"
       "  130      поиск (find) прерван клавишами Ctrl+C\n";
  return s;
}

int run(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
  ParsedLine p;
  const Command* cmd = nullptr;
  try {
    p = parseCommandLine(argv);
    if (p.options.help) {
      out << toolHelp();
      return 0;
    }
    if (p.command) {
      cmd = findCommand(*p.command);
      if (!cmd) throw UsageError{"неизвестная команда " + *p.command};
      // A command with a word of its own after the name ("eej journal").
      if (!p.args.empty()) {
        if (const Command* sub = findCommand(*p.command + " " + p.args.front())) {
          cmd = sub;
          p.args.erase(p.args.begin());
        }
      }
      if (p.commandHelp) {
        out << commandHelp(*cmd);
        return 0;
      }
      if (p.args.size() < cmd->minArgs || p.args.size() > cmd->maxArgs)
        throw UsageError{"неверное число аргументов команды " + std::string(cmd->name)};
      // The JSON output belongs to a command with its first word ("settings
      // show"), unless that is an option ("find --ports 1-4").
      const bool word = !p.args.empty() && p.args.front().rfind('-', 0) != 0;
      const std::string jsonName = std::string(cmd->name) + (word ? " " + p.args.front() : "");
      if (p.options.json && !json::supported(jsonName))
        throw UsageError{"команда " + jsonName + " не выводит JSON (--json)"};
    } else if (!hasSettings(p.options)) {
      err << toolHelp();
      return kExitUsage;
    }
    applyOptions(p.options);
  } catch (const UsageError& e) {
    err << "trma: " << e.message << "\n";
    err << (cmd ? "Справка: trma " + std::string(cmd->name) + " --help\n" : "Справка: trma --help\n");
    return kExitUsage;
  }
  if (!cmd) return 0;

  Context ctx{out, err, p.options.json};
  int status;
  try {
    status = cmd->handler(ctx, p.args);
  } catch (uint16_t code) {
    // The text is composed once: for code 1 it asks the register.
    const std::string message = driverMessage(code);
    if (ctx.json) json::print(out, json::failure(code, message));
    reportDriverFailure(code, message, err);
    status = exitCodeFor(code);
  } catch (const UsageError& e) {
    err << "trma: " << e.message << "\n"
        << "Справка: trma " << cmd->name << " --help\n";
    status = kExitUsage;
  }
  try {
    TRMA_ClosePort();
  } catch (uint16_t) {}
  out.flush();
  return status;
}

}  // namespace termina::cli

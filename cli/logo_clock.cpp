// SPDX-License-Identifier: GPL-3.0-or-later
#include "logo_clock.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <ostream>

#include "clock.h"
#include "json_out.h"
#include "driver_text.h"
#include "logo.h"
#include "termina1.h"

namespace termina::cli {
namespace {

void connect() {
  const uint16_t rc = TRMA_CheckPort(false);
  if (rc != 0) throw rc;
}

// Questions and messages of a sequence on the terminal: messages go to
// standard error; a Yes/No question is answered by --yes, by the user when
// standard input is a terminal, and with No otherwise.
class TerminalInteraction : public app::Interaction {
 public:
  TerminalInteraction(Context& ctx, bool yes) : m_ctx(ctx), m_yes(yes) {}
  app::Answer Ask(const app::Question& q) override {
    m_ctx.err << "trma: " << q.text << "\n";
    if (q.buttons != app::Buttons::YesNo && q.buttons != app::Buttons::YesNoCancel) return app::Answer::Ok;
    if (m_yes) {
      m_ctx.err << "trma: ответ: да (--yes)\n";
      return app::Answer::Yes;
    }
    if (!::isatty(STDIN_FILENO)) {
      m_ctx.err << "trma: ответ: нет (подтвердить можно параметром --yes)\n";
      return app::Answer::No;
    }
    m_ctx.err << "Да или нет? [д/Н] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return app::Answer::No;
    for (const char* yes : {"д", "Д", "да", "Да", "ДА", "y", "Y", "yes", "Yes"})
      if (line == yes) return app::Answer::Yes;
    return app::Answer::No;
  }

 private:
  Context& m_ctx;
  bool m_yes;
};

uint16_t registerVersion() {
  uint16_t v = 120;
  TRMA_GetVersion(&v);  // 120 when the register does not answer, as in the program
  return v;
}

int logoCheck(Context& ctx, const std::string& path) {
  connect();
  const uint16_t version = registerVersion();
  const app::LogoCheck c = app::CheckLogoFile(path, version);
  // A negative height is a picture stored top row first.
  const int64_t height = c.height < 0 ? -static_cast<int64_t>(c.height) : c.height;
  if (ctx.json) {
    // The verdict is the answer: a refused file is an object like an
    // accepted one, with exit status 102 as without --json.
    const auto size = [&](int64_t n) { return c.accepted() ? nlohmann::json(n) : nlohmann::json(nullptr); };
    const std::string text = c.accepted() ? "Файл подходит для ККМ версии " + std::to_string(version) : c.message;
    json::print(ctx.out, {{"version", version},
                          {"accepted", c.accepted()},
                          {"width", size(c.width)},
                          {"height", size(height)},
                          {"text", text}});
    return c.accepted() ? 0 : kExitRefused;
  }
  if (!c.accepted()) {
    ctx.err << "trma: " << c.message << "\n";
    return kExitRefused;
  }
  ctx.out << "Файл подходит для ККМ версии " << version << ": " << c.width << "x" << height << "\n";
  return 0;
}

std::string clockText(const app::RegisterClock& c) {
  if (c.date.empty() && c.time.empty()) return "нет данных";
  return app::DateText(c.date) + " " + app::TimeText(c.time);
}

int showClocks(Context& ctx) {
  connect();
  TRMADT date;
  TRMATM time;
  app::LocalDateTime(&date, &time);
  const app::RegisterClock reg = app::ReadRegisterClock();
  if (ctx.json) {
    const auto diff = app::ClockDifferenceMinutes(date, time, reg);
    char computer[32];
    std::snprintf(computer, sizeof computer, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{date.year}, unsigned{date.month},
                  unsigned{date.day}, unsigned{time.hour}, unsigned{time.minute}, unsigned{time.second});
    json::print(ctx.out, {{"computer", computer},
                          {"register_date", json::isoDate(reg.date)},
                          {"register_time", json::isoTime(reg.time)},
                          {"difference_minutes", diff ? nlohmann::json(*diff) : nlohmann::json(nullptr)}});
    return 0;
  }
  ctx.out << "Компьютер: " << app::DateText(date) << " " << app::TimeText(time) << "\n";
  ctx.out << "ККМ: " << clockText(reg) << "\n";
  const auto diff = app::ClockDifferenceMinutes(date, time, reg);
  if (diff)
    ctx.out << "Разница (компьютер минус ККМ): " << *diff << " мин\n";
  else
    ctx.out << "Разница (компьютер минус ККМ): неизвестна\n";
  return 0;
}

int setClock(Context& ctx, bool yes) {
  connect();
  TRMADT date;
  TRMATM time;
  app::LocalDateTime(&date, &time);
  TerminalInteraction ui(ctx, yes);
  app::ClockSetting s;
  try {
    s = app::SetRegisterClock(date, time, ui);
  } catch (uint16_t code) {
    if (code != 12) throw;
    ctx.err << "trma: " << *app::ClockFailureText(code) << " (код 12)\n";
    return 12;
  }
  if (!s.set) {
    ctx.out << "Часы ККМ не изменены: " << clockText(s.after) << "\n";
    return kExitRefused;
  }
  ctx.out << "Часы ККМ установлены: " << clockText(s.after) << "\n";
  return 0;
}

}  // namespace

int cmdLogo(Context& ctx, const std::vector<std::string>& args) {
  const std::string& verb = args[0];
  if (verb == "check" || verb == "load") {
    if (args.size() != 2) throw UsageError{"logo " + verb + " ФАЙЛ"};
    if (args[1].empty()) throw UsageError{"ФАЙЛ: пустой путь"};
    if (verb == "check") return logoCheck(ctx, args[1]);
    connect();
    TerminalInteraction ui(ctx, false);
    if (!app::UploadLogo(args[1], ui)) return kExitRefused;
    ctx.out << "Логотип загружен\n";
    return 0;
  }
  if (verb == "clear") {
    if (args.size() != 1) throw UsageError{"logo clear без аргументов"};
    connect();
    app::RemoveLogo();
    ctx.out << "Логотип удален, печать логотипа выключена\n";
    return 0;
  }
  throw UsageError{"ожидается logo check, logo load или logo clear"};
}

int cmdClock(Context& ctx, const std::vector<std::string>& args) {
  if (args.empty()) return showClocks(ctx);
  if (args[0] != "set") throw UsageError{"ожидается clock или clock set [--yes]"};
  bool yes = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] != "--yes") throw UsageError{"неизвестный аргумент " + args[i]};
    yes = true;
  }
  return setClock(ctx, yes);
}

}  // namespace termina::cli

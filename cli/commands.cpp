// SPDX-License-Identifier: GPL-3.0-or-later
// The command table of trma and its handlers.  A handler checks its
// arguments first, then connects and calls the driver; a driver failure is
// thrown as the bare uint16_t code and reported by run().
#include <ctime>
#include <ostream>

#include "cli.h"
#include "codepage.h"
#include "find.h"
#include "json_out.h"
#include "nvr.h"
#include "logo_clock.h"
#include "report.h"
#include "settings.h"
#include "reports_cli.h"
#include "startup.h"
#include "termina1.h"
#include "test_sale_cli.h"

// The wait of a long report, in the help of each.
#define TRMA_REPORT_WAIT_HELP                                                                                                               \
  "Пока регистратор печатает, trma показывает ожидание и число подтверждений\n" \
  "(ACK) от регистратора; Ctrl+C один раз посылает прерывание (CAN), после чего\n"          \
  "trma сообщает ответ регистратора, как кнопка \"ПРЕРВАТЬ\" программы."

namespace termina::cli {
namespace {

// A result the driver returned instead of throwing (0 and 64 are returned,
// TRMA_GetVersion returns every code) counts as failure unless it is 0.
void check(uint16_t rc) {
  if (rc != 0) throw rc;
}

void connect() { check(TRMA_CheckPort(false)); }

uint16_t version() {
  uint16_t v = 0;
  check(TRMA_GetVersion(&v));
  return v;
}

// A reply text field as UTF-8, or the note for a register without data.
std::string field(const char* ansi, uint16_t rc) { return rc == TRMA_E_NODATA64 ? "нет данных" : cp::ansiToUtf8(ansi); }

// "DDMMYY" -> "DD/MM/YY", "HHMMSS" -> "HH:MM:SS"; other text unchanged.
std::string splitSix(const std::string& s, char sep) {
  if (s.size() != 6) return s;
  for (char c : s)
    if (c < '0' || c > '9') return s;
  return s.substr(0, 2) + sep + s.substr(2, 2) + sep + s.substr(4, 2);
}

// A reply text field for JSON: null for a register without data.
nlohmann::json jsonField(const char* ansi, uint16_t rc) {
  if (rc == TRMA_E_NODATA64) return nullptr;
  return cp::ansiToUtf8(ansi);
}

nlohmann::json statusJson(const app::StatusReport& r) {
  const auto& f = r.bytes.fatal.bits;
  const auto& s = r.bytes.status.bits;
  nlohmann::json j = {
      {"version", r.version},
      {"fatal",
       {{"byte", r.bytes.fatal.byte},
        {"nvr_checksum", f.bNvrChecksum != 0},
        {"config_crc", f.bConfigCrc != 0},
        {"spi", f.bSpiError != 0},
        {"fm_crc", f.bFiscalMemoryCrc != 0},
        {"fm_write", f.bFiscalMemoryWrite != 0},
        {"not_installed", f.bNotInstalled != 0},
        {"eej", f.bEejFatal != 0},
        {"eej_mismatch", f.bEejMismatch != 0}}},
      {"status",
       {{"byte", r.bytes.status.byte},
        {"no_init", s.bNoInit != 0},
        {"non_fiscal", s.bNonFiscal != 0},
        {"shift_open", s.bShiftOpen != 0},
        {"shift_over_24h", s.bShiftOver24h != 0},
        {"eej_archive_closed", s.bEejArchiveClosed != 0},
        {"eej_not_activated", s.bEejNotActivated != 0},
        {"no_fm_space", s.bNoFiscalMemory != 0},
        {"wrong_fm_password", s.bWrongFmPassword != 0}}},
      {"document",
       {{"byte", r.bytes.doc.byte}, {"type", r.bytes.doc.bits.docType}, {"state", r.bytes.doc.bits.docState}}},
      {"printer", nullptr},
      {"no_data", r.bytes.noData}};
  if (r.versionResult != 0) j["version"] = nullptr;
  if (r.printerAvailable) {
    const auto& p = r.printer.bits;
    j["printer"] = {{"byte", r.printer.byte},          {"no_paper", p.bNoPaper != 0},
                    {"cover_open", p.bCoverOpen != 0}, {"head_overheat", p.bHeadOverheat != 0},
                    {"cutter", p.bCutterError != 0},   {"voltage", p.bVoltage != 0}};
  }
  return j;
}

// The program's status command: the same sequence, shown as text.
int cmdStatus(Context& ctx, const std::vector<std::string>&) {
  connect();
  const app::StatusReport r = app::ReadStatusReport();
  if (ctx.json) {
    json::print(ctx.out, statusJson(r));
    return 0;
  }
  std::optional<TRMA_PRINTER_STATUS> printer;
  if (r.printerAvailable) printer = r.printer;
  if (r.versionResult != 0)
    ctx.err << "trma: версия не получена (код " << r.versionResult << "), показана версия " << r.version << "\n";
  ctx.out << formatStatusReport(r.version, r.bytes.fatal, r.bytes.status, r.bytes.doc, printer);
  if (r.bytes.noData) ctx.out << "Регистратор не сообщил статус (нет данных): показаны нули\n";
  return 0;
}

int cmdVersion(Context& ctx, const std::vector<std::string>&) {
  connect();
  const uint16_t v = version();
  if (ctx.json)
    json::print(ctx.out, {{"version", v}});
  else
    ctx.out << v << "\n";
  return 0;
}

int cmdConfig(Context& ctx, const std::vector<std::string>& args) {
  const std::string& verb = args[0];
  if (verb != "get" && verb != "set") throw UsageError{"ожидается config get или config set"};
  if (verb == "get" && args.size() != 3) throw UsageError{"config get ТАБЛИЦА ПОЛЕ"};
  if (verb == "set" && args.size() != 4) throw UsageError{"config set ТАБЛИЦА ПОЛЕ ЗНАЧЕНИЕ"};
  const auto table = static_cast<uint16_t>(parseNumber(args[1], 0, 65535, "ТАБЛИЦА"));
  const auto fieldNo = static_cast<uint16_t>(parseNumber(args[2], 0, 65535, "ПОЛЕ"));
  TRMA_STRING value{};
  if (verb == "set") {
    const std::string ansi = toAnsiLimited(args[3], sizeof value - 1, "ЗНАЧЕНИЕ");
    ansi.copy(value, ansi.size());
    connect();
    check(TRMA_WriteConfig(table, fieldNo, &value));
    return 0;
  }
  connect();
  const uint16_t rc = TRMA_ReadConfig(table, fieldNo, &value);
  // No value is a failure with --json too: the failure object and code 64.
  if (rc == TRMA_E_NODATA64 && ctx.json) throw rc;
  if (ctx.json) {
    json::print(ctx.out, {{"table", table}, {"field", fieldNo}, {"value", cp::ansiToUtf8(value)}});
    return 0;
  }
  if (rc == TRMA_E_NODATA64) {
    ctx.err << "trma: регистратор не вернул значение таблицы " << table << ", поля " << fieldNo
            << " (нет данных, код 64)\n";
    return exitCodeFor(rc);
  }
  ctx.out << cp::ansiToUtf8(value) << "\n";
  return 0;
}

template <uint16_t (*Report)(TRMA_OPERATOR_NAME*)>
int shiftReport(Context& ctx, const std::vector<std::string>& args, const char* done) {
  TRMA_OPERATOR_NAME op{};
  if (!args.empty()) {
    const std::string ansi = toAnsiLimited(args[0], sizeof op - 1, "ОПЕРАТОР");
    ansi.copy(op, ansi.size());
  }
  connect();
  check(Report(&op));
  ctx.out << done << "\n";
  return 0;
}

int cmdXReport(Context& ctx, const std::vector<std::string>& args) {
  return shiftReport<TRMA_XReport>(ctx, args, "X-отчет напечатан");
}

int cmdZReport(Context& ctx, const std::vector<std::string>& args) {
  return shiftReport<TRMA_ZReport>(ctx, args, "Z-отчет напечатан, смена закрыта");
}

int cmdSetClock(Context& ctx, const std::vector<std::string>&) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) throw UsageError{"местное время недоступно"};
  TRMADT date{static_cast<uint8_t>(local.tm_mday), static_cast<uint8_t>(local.tm_mon + 1),
              static_cast<uint16_t>(local.tm_year + 1900)};
  TRMATM time{static_cast<uint8_t>(local.tm_hour), static_cast<uint8_t>(local.tm_min),
              static_cast<uint8_t>(local.tm_sec)};
  connect();
  check(TRMA_SetDate(&date, &time));
  check(TRMA_Init(&date, &time));
  char text[32];
  std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
  ctx.out << "Часы регистратора установлены: " << text << "\n";
  return 0;
}

int cmdShift(Context& ctx, const std::vector<std::string>&) {
  connect();
  uint16_t current = 0, lastReg = 0;
  const uint16_t rc1 = TRMA_GetCurrentShift(&current);
  const uint16_t rc2 = TRMA_GetLastRegShift(&lastReg);
  if (ctx.json) {
    const auto value = [](uint16_t n, uint16_t rc) { return rc == 0 ? nlohmann::json(n) : nlohmann::json(nullptr); };
    json::print(ctx.out, {{"current_shift", value(current, rc1)}, {"last_registration_shift", value(lastReg, rc2)}});
    return 0;
  }
  const auto show = [](uint16_t n, uint16_t rc) {
    return rc == TRMA_E_NODATA64 ? std::string("нет данных") : std::to_string(n);
  };
  ctx.out << "Текущая смена: " << show(current, rc1) << "\n";
  ctx.out << "Последняя смена при регистрации: " << show(lastReg, rc2) << "\n";
  return 0;
}

int cmdRegistration(Context& ctx, const std::vector<std::string>&) {
  connect();
  TRMA_REGISTRATION_NUMBER reg{};
  TRMA_STRING inn{}, date{}, time{};
  const uint16_t rcReg = TRMA_GetRegNumber(&reg);
  const uint16_t rcInn = TRMA_GetINN(inn);
  const uint16_t rcFm = TRMA_GetFMLastData(date, time);
  if (ctx.json) {
    const bool fm = rcFm != TRMA_E_NODATA64;
    json::print(ctx.out, {{"registration_number", jsonField(reg, rcReg)},
                          {"inn", jsonField(inn, rcInn)},
                          {"fm_last_date", fm ? json::isoDate(cp::ansiToUtf8(date)) : nullptr},
                          {"fm_last_time", fm ? json::isoTime(cp::ansiToUtf8(time)) : nullptr}});
    return 0;
  }
  ctx.out << "Регистрационный номер: " << field(reg, rcReg) << "\n";
  ctx.out << "ИНН: " << field(inn, rcInn) << "\n";
  ctx.out << "Последняя запись в ФП: ";
  if (rcFm == TRMA_E_NODATA64)
    ctx.out << "нет данных\n";
  else
    ctx.out << splitSix(cp::ansiToUtf8(date), '/') << " " << splitSix(cp::ansiToUtf8(time), ':') << "\n";
  return 0;
}

int cmdEej(Context& ctx, const std::vector<std::string>&) {
  connect();
  const uint16_t rc = TRMA_GetEEJStatus();
  TRMA_STRING number{}, act{};
  const uint16_t rcNum = TRMA_EEJRegNum(number);
  const uint16_t rcAct = TRMA_GetEEJActData(act);
  if (ctx.json) {
    json::print(ctx.out, {{"eej_status_code", rc},
                          {"eej_registration_number", jsonField(number, rcNum)},
                          {"eej_activation_data", jsonField(act, rcAct)}});
    return 0;
  }
  ctx.out << "Состояние ЭКЛЗ: " << (rc == TRMA_E_NODATA64 ? "нет данных" : "без ошибок") << "\n";
  ctx.out << "Регистрационный номер ЭКЛЗ: " << field(number, rcNum) << "\n";
  ctx.out << "Данные активизации ЭКЛЗ: " << field(act, rcAct) << "\n";
  return 0;
}

int cmdHelp(Context& ctx, const std::vector<std::string>& args) {
  if (args.empty()) {
    ctx.out << toolHelp();
    return 0;
  }
  const Command* c = findCommand(args[0]);
  if (!c) throw UsageError{"неизвестная команда " + args[0]};
  ctx.out << commandHelp(*c);
  return 0;
}

}  // namespace

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"status", "", "версия, модель и признаки состояния регистратора",
       "Показывает версию прошивки и модель, каждый установленный бит байтов\n"
       "Статус0 и Статус1 с его значением, тип и состояние документа, а для\n"
       "версии 201 также признаки печатающего устройства.",
       0, 0, cmdStatus},
      {"version", "", "номер версии прошивки", "Выводит только число, например 201.", 0, 0, cmdVersion},
      {"config", "get ТАБЛИЦА ПОЛЕ | set ТАБЛИЦА ПОЛЕ ЗНАЧЕНИЕ", "чтение и запись таблиц настроек",
       "get выводит значение поля таблицы (код 64, если значения нет);\n"
       "set записывает значение (до 40 символов кодовой страницы 1251).\n"
       "ТАБЛИЦА и ПОЛЕ: числа 0..65535.",
       3, 4, cmdConfig},
      {"x-report", "[ОПЕРАТОР]", "печать X-отчета (смена остается открытой)",
       "ОПЕРАТОР: имя кассира в отчете, до 20 символов.", 0, 1, cmdXReport},
      {"z-report", "[ОПЕРАТОР]", "печать Z-отчета с закрытием смены", "ОПЕРАТОР: имя кассира в отчете, до 20 символов.",
       0, 1, cmdZReport},
      {"set-clock", "", "установка часов регистратора по часам компьютера",
       "Передает местные дату и время компьютера командой установки даты,\n"
       "затем инициализирует регистратор (функция 0) с тем же временем.",
       0, 0, cmdSetClock},
      {"clock", "[set [--yes]]", "часы компьютера и ККМ, установка часов ККМ",
       "Без аргументов выводит дату и время компьютера и ККМ и их разницу в минутах\n"
       "(компьютер минус ККМ). set устанавливает часы ККМ по часам компьютера и\n"
       "инициализирует ККМ; если компьютер впереди на сутки и более, спрашивает\n"
       "подтверждение (--yes отвечает \"да\"; без терминала и без --yes ответ \"нет\",\n"
       "код 102). Дату раньше последней фискальной операции ККМ не принимает (код 12).",
       0, 2, cmdClock},
      {"logo", "check ФАЙЛ | load ФАЙЛ | clear", "проверка, загрузка и удаление логотипа",
       "check проверяет файл BMP: заголовок \"BM\", размер не более 64 Кб, монохромное\n"
       "изображение, размер картинки по модели ККМ (288x126, на версии 201 576x170,\n"
       "на 301 ровно 515x90); отклоненный файл дает код 102.\n"
       "load проверяет файл так же и загружает его (при отказе ничего не передается),\n"
       "затем инициализирует ККМ. Печать логотипа включается отдельно:\n"
       "trma config set 5 0 1.\n"
       "clear выключает печать логотипа (таблица 5) и удаляет логотип из ККМ.",
       1, 2, cmdLogo},
      {"shift", "", "номер текущей смены и последней смены при регистрации", "", 0, 0, cmdShift},
      {"registration", "", "регистрационный номер, ИНН и последняя запись в ФП", "", 0, 0, cmdRegistration},
      {"eej", "", "состояние, регистрационный номер и данные активизации ЭКЛЗ",
       "Ошибка ЭКЛЗ завершает команду с кодом этой ошибки (65..75).\n"
       "Печать из ЭКЛЗ и ее обслуживание: eej journal, eej shift-report,\n"
       "eej document, eej activation-report, eej activate, eej close-archive.",
       0, 0, cmdEej},
      {"nvr", "read ФАЙЛ | write [--no-backup] ФАЙЛ | show", "аварийное восстановление NVR: итоги смены",
       "read читает образ NVR для версии регистратора и сохраняет итоги смены\n"
       "в файл .nvr (544 байта); write читает образ, сохраняет прочитанные итоги\n"
       "резервной копией .nvr в папке backups корня драйвера, заменяет итоги\n"
       "значениями из файла, строит новый образ и записывает его в регистратор\n"
       "(если копию сделать нельзя, ничего не записывается, код 101; --no-backup\n"
       "записывает без копии); show показывает итоги (суммы с двумя знаками\n"
       "после точки).",
       1, 3, cmdNvr},
      {"settings", "show | save ФАЙЛ | load [--yes] [--no-backup] ФАЙЛ | diff ФАЙЛ | backups",
       "настройки регистратора и файл настроек (.frc)",
       "show выводит все настройки регистратора, которые есть в его версии, с их\n"
       "названиями. save сохраняет настройки в файл настроек; load загружает\n"
       "файл в регистратор (номер кассы и тип платежа 0 не меняются).\n"
       "Если версия регистратора выше версии файла, load спрашивает\n"
       "подтверждение на терминале; --yes отвечает \"да\". Без терминала и без\n"
       "--yes, а также для файла неверного формата или более новой версии\n"
       "ничего не записывается, код завершения 101.\n"
       "Перед записью load читает настройки регистратора (как save) в резервную\n"
       "копию в папке backups корня драйвера и выводит настройки, которые файл\n"
       "изменит; на терминале без --yes спрашивает, записать ли их (без терминала\n"
       "и с --yes записывает). Если копию сделать нельзя, ничего не записывается,\n"
       "код 101; --no-backup загружает без копии и без списка изменений. Если\n"
       "запись прервалась, load называет незаписанную настройку и выводит\n"
       "команду trma settings load КОПИЯ, которая вернет прежние настройки.\n"
       "diff выводит каждую настройку, которую изменит load, со старым и новым\n"
       "значением: код 0, если ничего не изменится, 1, если изменится.\n"
       "backups выводит резервные копии подключенного регистратора, новые первыми\n"
       "(папка хранит 100 последних копий).",
       1, 4, cmdSettings},
      {"fiscal-report", "shifts|dates ...", "фискальный отчет из фискальной памяти",
       "trma fiscal-report shifts [--full] НАЧАЛО КОНЕЦ --password ПАРОЛЬ\n"
       "trma fiscal-report dates [--full] НАЧАЛО КОНЕЦ --password ПАРОЛЬ",
       0, 99, cmdReportKindMissing},
      {"fiscal-report shifts", "[--full] НАЧАЛО КОНЕЦ --password ПАРОЛЬ", "фискальный отчет по диапазону смен",
       "НАЧАЛО и КОНЕЦ: номера смен 0..65535; --full печатает полный отчет\n"
       "(без него краткий). ПАРОЛЬ: пароль налогового инспектора, до 10 символов.\n" TRMA_REPORT_WAIT_HELP,
       3, 5, cmdFiscalReportShifts},
      {"fiscal-report dates", "[--full] НАЧАЛО КОНЕЦ --password ПАРОЛЬ", "фискальный отчет по диапазону дат",
       "НАЧАЛО и КОНЕЦ: даты в виде ДДММГГ (010307 - 1 марта 2007); --full печатает\n"
       "полный отчет (без него краткий). ПАРОЛЬ: пароль налогового инспектора,\n"
       "до 10 символов.\n" TRMA_REPORT_WAIT_HELP,
       3, 5, cmdFiscalReportDates},
      {"eej-report", "shifts|dates ...", "отчет ЭКЛЗ по диапазону смен или дат",
       "trma eej-report shifts [--full] НАЧАЛО КОНЕЦ\n"
       "trma eej-report dates [--full] НАЧАЛО КОНЕЦ",
       0, 99, cmdReportKindMissing},
      {"eej-report shifts", "[--full] НАЧАЛО КОНЕЦ", "отчет ЭКЛЗ по диапазону смен",
       "НАЧАЛО и КОНЕЦ: номера смен 0..65535; --full печатает полный отчет\n"
       "(без него краткий).\n" TRMA_REPORT_WAIT_HELP,
       2, 3, cmdEejReportShifts},
      {"eej-report dates", "[--full] НАЧАЛО КОНЕЦ", "отчет ЭКЛЗ по диапазону дат",
       "НАЧАЛО и КОНЕЦ: даты в виде ДДММГГ; --full печатает полный отчет\n"
       "(без него краткий).\n" TRMA_REPORT_WAIT_HELP,
       2, 3, cmdEejReportDates},
      {"eej journal", "СМЕНА", "контрольная лента смены из ЭКЛЗ",
       "СМЕНА: номер смены 0..65535.\n" TRMA_REPORT_WAIT_HELP, 1, 1, cmdEejJournal},
      {"eej shift-report", "СМЕНА", "отчет ЭКЛЗ по смене", "СМЕНА: номер смены 0..65535.\n" TRMA_REPORT_WAIT_HELP, 1, 1,
       cmdEejShiftReport},
      {"eej document", "КПК", "документ из ЭКЛЗ по номеру КПК", "КПК: номер документа 0..4294967295.", 1, 1,
       cmdEejDocument},
      {"eej activation-report", "", "отчет по активизации ЭКЛЗ", "", 0, 0, cmdEejActivationReport},
      {"eej activate", "", "активизация ЭКЛЗ", "", 0, 0, cmdEejActivate},
      {"eej close-archive", "[--yes]", "закрытие архива ЭКЛЗ",
       "Спрашивает \"Закрыть архив?\" на терминале; --yes закрывает без вопроса.\n"
       "Без терминала и без --yes архив не закрывается (код 100).",
       0, 1, cmdEejCloseArchive},
      {"test-sale", "[--amount КОПЕЙКИ] [--operator ИМЯ] [--keep-shift]", "тестовая продажа с закрытием смены",
       "Инициализирует регистратор датой и временем компьютера (функция 0), как\n"
       "программа при запуске, и пробивает чек продажи тестового товара\n"
       "\"ТЕСТ-ТОВАР1\" на сумму в копейках (по умолчанию 111) с оплатой\n"
       "наличными, затем печатает Z-отчет и закрывает смену, временно включив\n"
       "инкассацию под ноль (таблица 8).\n"
       "  --amount КОПЕЙКИ  сумма, от 1 до 24 цифр\n"
       "  --operator ИМЯ    кассир в чеке и отчете, до 20 символов (по умолчанию ЦТО)\n"
       "  --keep-shift      без Z-отчета: смена остается открытой\n"
       "Если включен автоматический вывод на дисплей покупателя, а дисплей не\n"
       "отвечает, продажа не проводится (код завершения: код ответа дисплея).\n"
       "При ошибке после открытия чека чек остается открытым в регистраторе.",
       0, 5, cmdTestSale},
      {"find", "[--ports СПИСОК] [--speeds СПИСОК] [--save]", "поиск регистратора на последовательных портах",
       "Проверяет все порты сразу, каждый на скоростях по порядку до первой, на\n"
       "которой регистратор ответил, и выводит по строке на порт: номер COM,\n"
       "устройство и его имя в /dev/serial/by-id, скорость, версию и модель, или\n"
       "почему порт нельзя использовать. Ход поиска выводится в stderr; Ctrl+C\n"
       "останавливает поиск и закрывает все порты (код завершения 130).\n"
       "  --ports СПИСОК   номера COM, диапазоны и пути к устройствам через запятую,\n"
       "                   например 1-4,7,/dev/ttyUSB0 (по умолчанию COM1..COM10 и\n"
       "                   все устройства /dev/serial/by-id)\n"
       "  --speeds СПИСОК  скорости по порядку проверки (по умолчанию\n"
       "                   19200,4800,9600,38400,57600,115200)\n"
       "  --save           записать найденные Port и Speed в файл настроек драйвера;\n"
       "                   если найдено несколько регистраторов, ничего не\n"
       "                   записывается (код 102)\n"
       "Код завершения 0, если найден хотя бы один регистратор, иначе 19.",
       0, 5, cmdFind},
      {"help", "[КОМАНДА]", "справка", "", 0, 1, cmdHelp},
  };
  return table;
}

}  // namespace termina::cli

// SPDX-License-Identifier: GPL-3.0-or-later
#include "report.h"

#include <gtest/gtest.h>

#include "cli.h"
#include "versions.h"

namespace {

using namespace termina::cli;

// trma takes the model name from the program's version table.
TEST(ModelName, OnlyTheThreeKnownModels) {
  EXPECT_EQ(termina::app::ModelName(0), "ТЕРМИНА-1");  // the program names version 0 so too
  EXPECT_EQ(termina::app::ModelName(1), "ТЕРМИНА-1");
  EXPECT_EQ(termina::app::ModelName(128), "ТЕРМИНА-1");
  EXPECT_EQ(termina::app::ModelName(129), "");
  EXPECT_EQ(termina::app::ModelName(200), "");
  EXPECT_EQ(termina::app::ModelName(201), "ТЕРМИНА-2");
  EXPECT_EQ(termina::app::ModelName(202), "");
  EXPECT_EQ(termina::app::ModelName(301), "ТЕРМИНА-3");
}

TEST(StatusReport, ListsEverySetBitWithItsLabel) {
  TRMA_FATAL_STATUS fatal{};
  fatal.byte = 0x81;  // bits 0 and 7
  TRMA_STATUS status{};
  status.byte = 0x24;  // bits 2 and 5
  TRMA_REC_STATUS rec{};
  rec.byte = 0x3A;  // type 10, state 3
  TRMA_PRINTER_STATUS printer{};
  printer.byte = 0xC3;  // bit 1 shown; 0, 6, 7 carry no label
  EXPECT_EQ(formatStatusReport(201, fatal, status, rec, printer),
            "Версия прошивки: 201\n"
            "Модель: ТЕРМИНА-2\n"
            "Статус0: 0x81\n"
            "  Неверная контрольная сумма NVR\n"
            "  Расхождение данных ФР и ЭКЛЗ\n"
            "Статус1: 0x24\n"
            "  Смена открыта\n"
            "  ЭКЛЗ не активизирована\n"
            "Тип документа: 10\n"
            "Состояние документа: 3\n"
            "Статус печатающего устройства: 0xC3\n"
            "  В принтере нет бумаги\n");
}

TEST(StatusReport, QuietBytesUnknownModelAndNoPrinter) {
  const std::string r = formatStatusReport(150, {}, {}, {}, std::nullopt);
  EXPECT_EQ(r,
            "Версия прошивки: 150\n"
            "Модель: неизвестна для версии 150\n"
            "Статус0: 0x00\n"
            "  нет отмеченных признаков\n"
            "Статус1: 0x00\n"
            "  нет отмеченных признаков\n"
            "Тип документа: 0\n"
            "Состояние документа: 0\n");
}

TEST(StatusReport, AllLabelsAppearForAllBits) {
  TRMA_FATAL_STATUS fatal{};
  fatal.byte = 0xFF;
  TRMA_STATUS status{};
  status.byte = 0xFF;
  TRMA_PRINTER_STATUS printer{};
  printer.byte = 0xFF;
  const std::string r = formatStatusReport(201, fatal, status, {}, printer);
  for (const char* label :
       {"Неверная CRC в конфигурации", "Ошибка SPI интерфейса", "Неверная CRC фискальной памяти",
        "Ошибка записи в фискальную память", "Фискальный модуль не инсталлирован", "Фатальная ошибка ЭКЛЗ",
        "Не была вызвана функция 0", "Нефискальный режим", "Смена больше 24 часов", "Архив ЭКЛЗ закрыт",
        "Нет памяти для закрытия смены в ФП", "Неправильный пароль доступа к ФП", "Открыта крышка принтера",
        "Перегрев печатающей головки принтера", "Ошибка резчика принтера", "Напряжение в недопустимом диапазоне"})
    EXPECT_NE(r.find(std::string("  ") + label + "\n"), std::string::npos) << label;
}

TEST(ExitCode, ResultCodeWhenItFitsElseOne) {
  EXPECT_EQ(exitCodeFor(0), 0);
  EXPECT_EQ(exitCodeFor(6), 6);
  EXPECT_EQ(exitCodeFor(255), 255);
  EXPECT_EQ(exitCodeFor(256), 1);
  EXPECT_EQ(exitCodeFor(10061), 1);
}

TEST(DriverText, ConvertsToUtf8WithPlainLineFeeds) {
  EXPECT_EQ(driverTextToUtf8("\xCD\xE5\xE2\xE5\xF0\xED\xFB\xE9\r\n\xCD\xE5\xF2\n!"), "Неверный\nНет\n!");
}

TEST(CommandLine, OptionsBeforeTheCommand) {
  const ParsedLine p = parseCommandLine({"--root", "/r", "--port=3", "--speed", "9600", "--tcp", "gw.local:7000",
                                         "--password", "Пароль", "--timeout", "4", "config", "get", "2", "1"});
  EXPECT_EQ(p.options.root, "/r");
  EXPECT_EQ(p.options.port, 3u);
  EXPECT_EQ(p.options.speed, 9600u);
  EXPECT_EQ(p.options.tcpHost, "gw.local");
  EXPECT_EQ(p.options.tcpPort, 7000u);
  EXPECT_EQ(p.options.password, "Пароль");
  EXPECT_EQ(p.options.timeout, 4);
  EXPECT_EQ(p.command, "config");
  EXPECT_EQ(p.args, (std::vector<std::string>{"get", "2", "1"}));
  EXPECT_FALSE(p.commandHelp);
  EXPECT_TRUE(parseCommandLine({"status", "--help"}).commandHelp);
}

TEST(CommandLine, BadValuesAreRefusedBeforeAnythingIsWritten) {
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--port", "0", "status"},
           {"--port", "256", "status"},
           {"--port", "x", "status"},
           {"--speed", "14400", "status"},
           {"--tcp", "host", "status"},
           {"--tcp", "host:0", "status"},
           {"--tcp", ":7000", "status"},
           {"--tcp", "a-very-long-host-name.example:1", "status"},  // the driver reads 19 characters
           {"--tcp", "h:1", "--serial", "status"},
           {"--password", std::string(60, 'a'), "status"},
           {"--password", "日本", "status"},  // not in code page 1251
           {"--timeout", "0", "status"},
           {"--port"},
           {"--frobnicate", "status"},
       }) {
    EXPECT_THROW(parseCommandLine(bad), UsageError) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
  }
}

TEST(CommandLine, TextArgumentsMustFitTheDriverBuffers) {
  EXPECT_EQ(toAnsiLimited("Иванов", 20, "x"), "\xC8\xE2\xE0\xED\xEE\xE2");
  EXPECT_NO_THROW(toAnsiLimited(std::string(20, 'a'), 20, "x"));
  EXPECT_THROW(toAnsiLimited(std::string(21, 'a'), 20, "x"), UsageError);
  EXPECT_THROW(toAnsiLimited("√", 20, "x"), UsageError);
  EXPECT_THROW(toAnsiLimited(std::string("a\0b", 3), 20, "x"), UsageError);
  EXPECT_EQ(parseNumber("65535", 0, 65535, "x"), 65535u);
  EXPECT_THROW(parseNumber("65536", 0, 65535, "x"), UsageError);
  EXPECT_THROW(parseNumber("99999999999", 0, 65535, "x"), UsageError);
  EXPECT_THROW(parseNumber("", 0, 65535, "x"), UsageError);
}

TEST(CommandTable, EveryCommandHasHelpAndIsListed) {
  const std::string help = toolHelp();
  for (const char* name :
       {"status", "version", "config", "x-report", "z-report", "set-clock", "shift", "registration", "eej"}) {
    const Command* c = findCommand(name);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_FALSE(c->summary.empty());
    EXPECT_NE(help.find("  " + std::string(name)), std::string::npos) << name;
    EXPECT_EQ(commandHelp(*c).rfind("Использование: trma [ПАРАМЕТРЫ] " + std::string(name), 0), 0u);
  }
  EXPECT_EQ(findCommand("nonsense"), nullptr);
}

}  // namespace

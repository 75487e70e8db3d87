// SPDX-License-Identifier: GPL-3.0-or-later
// Texts of the result codes and the composition of the wrong-status text.
#include "errors.h"

#include <gtest/gtest.h>

using termina::link::composeStatusMessage;
using termina::link::messageText;
using termina::link::StatusBytes;

namespace {
const std::string kHeader = "Неверный статус устройства. Возможные причины ошибки:";
const std::string kClosing = "\r\nФункция невыполнима при данном статусе ККМ.";
}  // namespace

TEST(ErrorTexts, RegisterAndDriverCodes) {
  EXPECT_EQ(messageText(0), "Команда выполнена без ошибок");
  EXPECT_EQ(messageText(6), "Неверный пароль");
  EXPECT_EQ(messageText(18), "Порт недоступен");
  EXPECT_EQ(messageText(19), "Регистратор не обнаружен");
  EXPECT_EQ(messageText(48), "Таймаут ответа от регистратора");
  EXPECT_EQ(messageText(80), "Соединение с удаленным компьютером не установлено");
  EXPECT_EQ(messageText(74), "Ошибка ЭКЛЗ:Нет ответа от ЭКЛЗ");
}

TEST(ErrorTexts, EejCodesCarryTheirOwnNumberAndKeepDoubleSpaces) {
  EXPECT_EQ(messageText(65), "Ошибка ЭКЛЗ:Некорректный  формат или параметр команды 1");
  EXPECT_EQ(messageText(73),
            "Ошибка ЭКЛЗ:Переполнение (отрицательный итог документа, слишком много отделов для клиента) 9");
}

TEST(ErrorTexts, UnknownCodesShowTheCodeInHexadecimal) {
  EXPECT_EQ(messageText(0x5A), "Неопознанная ошибка, код: 5A");
  EXPECT_EQ(messageText(64), "Неопознанная ошибка, код: 40");
  EXPECT_EQ(messageText(0x1234), "Неопознанная ошибка, код: 1234");
  EXPECT_EQ(messageText(0xFF), "Неопознанная ошибка, код: FF");
}

TEST(StatusComposition, EmptyStatusGetsTheClosingSentence) {
  EXPECT_EQ(composeStatusMessage(StatusBytes{0, 0}), kHeader + kClosing);
  // Bits that add no reason behave as the empty case.
  EXPECT_EQ(composeStatusMessage(StatusBytes{0x80, 0}), kHeader + kClosing);
  EXPECT_EQ(composeStatusMessage(StatusBytes{0, 0x04}), kHeader + kClosing);
  EXPECT_EQ(composeStatusMessage(StatusBytes{0, 0x20}), kHeader + kClosing);
}

TEST(StatusComposition, NonFiscalModeAloneOrAfterOtherReasons) {
  EXPECT_EQ(composeStatusMessage(StatusBytes{0, 0x02}), kHeader + "\r\nНефискальный режим" + kClosing);
  EXPECT_EQ(composeStatusMessage(StatusBytes{0, 0x0A}), kHeader + "\r\nСмена больше 24 часов\r\nНефискальный режим");
}

TEST(StatusComposition, ReasonsInOrderWithTheLineFeedOnlyReason) {
  std::string all = composeStatusMessage(StatusBytes{0xFF, 0xFF});
  EXPECT_EQ(all, kHeader +
                     "\r\nНеверная контрольная сумма NVR"
                     "\r\nНеверная контрольная сумма в конфигурации"
                     "\r\nОшибка SPI интерфейса"
                     "\r\nНеверная контрольная сумма фискальной памяти"
                     "\r\nОшибка записи в фискальную память"
                     "\r\nФискальный модуль не инсталлирован"
                     "\r\nФатальная ошибка ЭКЛЗ"
                     "\r\nНе была вызвана функция 0"
                     "\r\nСмена больше 24 часов"
                     "\r\nАрхив ЭКЛЗ закрыт"
                     "\nНет памяти для закрытия смены в ФП"
                     "\r\nНеправильный пароль доступа к ФП"
                     "\r\nНефискальный режим");
  EXPECT_EQ(composeStatusMessage(std::nullopt), "Сбой при попытке определить статус устройства");
}

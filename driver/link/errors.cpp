// SPDX-License-Identifier: LGPL-2.1-or-later
#include "errors.h"

#include "driver_state.h"
#include "trace.h"

#include <cstdio>

namespace termina::link {

void raiseCode(uint16_t code) {
  trace::emit(trace::Dir::Note, trace::Kind::Failure, {}, {}, {}, code);
  throw static_cast<uint16_t>(code);
}

void raiseIfError(uint16_t code) {
  if (code != 0 && code != 64) raiseCode(code);
}

namespace {

std::string withHex(const char* text, unsigned number) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%s %X", text, number);
  return buf;
}

}  // namespace

std::string messageText(uint16_t code) {
  switch (code) {
    case 0: return "Команда выполнена без ошибок";
    case 1: return composeStatusMessage(std::nullopt);
    case 2: return "Неверная функция";
    case 3: return "Неверный параметр функции";
    case 4: return "Переполнение буфера команд";
    case 5: return "Межсимвольный таймаут";
    case 6: return "Неверный пароль";
    case 7: return "Ошибка контрольной суммы";
    case 8: return "Кончилась бумага";
    case 9: return "Принтер не готов";
    case 10: return "Смена длится более 24 часов";
    case 11: return "Ошибка синхронизации времени";
    case 12: return "Текущая дата управляющего компьютера меньше даты последней фискальной операции в ККМ";
    case 13: return "Не был задан заголовок документа, что делает невозможным формирование фискального документа.";
    case 14: return "Отрицательный результат";
    case 15: return "Не подключен дисплей покупателя.";
    case 16: return "Ошибка передачи данных";
    case 17: return "Нет данных от регистратора";
    case 18: return "Порт недоступен";
    case 19: return "Регистратор не обнаружен";
    case 32: return "Фатальная ошибка";
    case 33: return "Нет свободной памяти";
    case 48: return "Таймаут ответа от регистратора";
    case 65: return withHex("Ошибка ЭКЛЗ:Некорректный  формат или параметр команды", 1);
    case 66: return withHex("Ошибка ЭКЛЗ:Некорректное состояние ЭКЛЗ", 2);
    case 67: return withHex("Ошибка ЭКЛЗ:Авария  ЭКЛЗ", 3);
    case 68: return withHex("Ошибка ЭКЛЗ:Авария  КС  (Криптографического сопроцессора) в составе ЭКЛЗ", 4);
    case 69: return withHex("Ошибка ЭКЛЗ:Исчерпан временной ресурс использования ЭКЛЗ", 5);
    case 70: return withHex("Ошибка ЭКЛЗ:ЭКЛЗ  переполнена", 6);
    case 71: return withHex("Ошибка ЭКЛЗ:Неверные  дата или время", 7);
    case 72: return withHex("Ошибка ЭКЛЗ:Нет  запрошенных данных", 8);
    case 73:
      return withHex("Ошибка ЭКЛЗ:Переполнение (отрицательный итог документа, слишком много отделов для клиента)", 9);
    case 74: return "Ошибка ЭКЛЗ:Нет ответа от ЭКЛЗ";
    case 75: return "Ошибка ЭКЛЗ:Ошибка при обмене данными с ЭКЛЗ";
    case 80: return "Соединение с удаленным компьютером не установлено";
    default: return withHex("Неопознанная ошибка, код:", code);
  }
}

// The session interface's own codes are 256 to 261 (termina.h).
const char* codeName(int code) {
  switch (code) {
    case 0: return "ok";
    case 1: return "device_status";
    case 2: return "bad_function";
    case 3: return "bad_parameter";
    case 4: return "command_overflow";
    case 5: return "character_timeout";
    case 6: return "bad_password";
    case 7: return "checksum";
    case 8: return "paper_out";
    case 9: return "printer_not_ready";
    case 10: return "shift_over_24h";
    case 11: return "clock_sync";
    case 12: return "date_before_last_fiscal";
    case 13: return "no_document_header";
    case 14: return "negative_result";
    case 15: return "no_customer_display";
    case 16: return "write_failed";
    case 17: return "no_data_from_register";
    case 18: return "port_unavailable";
    case 19: return "no_register";
    case 32: return "fatal";
    case 33: return "no_free_memory";
    case 48: return "reply_timeout";
    case 64: return "no_data";
    case 65: return "eej_format";
    case 66: return "eej_state";
    case 67: return "eej_failure";
    case 68: return "eej_crypto_failure";
    case 69: return "eej_expired";
    case 70: return "eej_full";
    case 71: return "eej_date_time";
    case 72: return "eej_no_data";
    case 73: return "eej_overflow";
    case 74: return "eej_no_answer";
    case 75: return "eej_exchange";
    case 80: return "tcp_not_connected";
    case 256: return "bad_argument";
    case 257: return "session_closed";
    case 258: return "buffer_too_small";
    case 259: return "deadline_passed";
    case 260: return "session_busy";
    case 261: return "internal";
    default: return nullptr;
  }
}

std::string composeStatusMessage(std::optional<StatusBytes> st) {
  if (!st) return "Сбой при попытке определить статус устройства";
  std::string header = "Неверный статус устройства. Возможные причины ошибки:";
  std::string reasons;
  static const char* const fatalReasons[7] = {
      "\r\nНеверная контрольная сумма NVR",
      "\r\nНеверная контрольная сумма в конфигурации",
      "\r\nОшибка SPI интерфейса",
      "\r\nНеверная контрольная сумма фискальной памяти",
      "\r\nОшибка записи в фискальную память",
      "\r\nФискальный модуль не инсталлирован",
      "\r\nФатальная ошибка ЭКЛЗ",
  };
  for (int bit = 0; bit < 7; ++bit)
    if (st->fatal & (1u << bit)) reasons += fatalReasons[bit];
  if (st->status & 0x01) reasons += "\r\nНе была вызвана функция 0";
  if (st->status & 0x08) reasons += "\r\nСмена больше 24 часов";
  if (st->status & 0x10) reasons += "\r\nАрхив ЭКЛЗ закрыт";
  if (st->status & 0x40) reasons += "\nНет памяти для закрытия смены в ФП";
  if (st->status & 0x80) reasons += "\r\nНеправильный пароль доступа к ФП";
  bool nonFiscalFirst = false;
  if (st->status & 0x02) {
    nonFiscalFirst = reasons.empty();
    reasons += "\r\nНефискальный режим";
  }
  if (reasons.empty() || nonFiscalFirst) reasons += "\r\nФункция невыполнима при данном статусе ККМ.";
  return header + reasons;
}

}  // namespace termina::link

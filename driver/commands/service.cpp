// SPDX-License-Identifier: LGPL-2.1-or-later
// Service, query and configuration-table commands, the password change and
// the two raw-frame calls.
#include "command.h"
#include "driver_state.h"
#include "ini.h"
#include "paths.h"

using namespace termina;
using namespace termina::cmd;

namespace {

// A5 with a selector: the first reply field as a decimal integer, 0 on 64.
uint16_t queryNumber(const char* selector, uint16_t* out) {
  Body body(0xA5);
  body.field(selector);
  uint16_t code = run(body);
  uint16_t v = code == 0 ? static_cast<uint16_t>(toLong(link::NextField(body.str()))) : 0;
  if (out) *out = v;
  return code;
}

// A query whose first reply field is a text; on 64 the text is emptied.
uint16_t queryText(Body& body, TRMA_STRING& out) {
  uint16_t code = run(body);
  copyOut(out, code == 0 ? link::NextField(body.str()) : std::string());
  return code;
}

// A query with two text fields; on 64 both are emptied.
uint16_t queryTwoTexts(Body& body, TRMA_STRING& first, TRMA_STRING& second) {
  uint16_t code = run(body);
  std::string a, b;
  if (code == 0) {
    a = link::NextField(body.str());
    b = link::NextField(body.str());
  }
  copyOut(first, a);
  copyOut(second, b);
  return code;
}

}  // namespace

extern "C" {

uint16_t TRMA_Init(TRMADT* date, TRMATM* time) {
  Body body(0x00);
  body.date(date).time(time);
  return run(body);
}

uint16_t TRMA_Register(TRMA_PASSWORD* currentPassword, TRMA_REGISTRATION_NUMBER* regNumber, TRMA_INN* inn,
                       TRMA_PASSWORD* newPassword) {
  Body body(0x08);
  body.field(text(currentPassword)).field(text(regNumber)).field(text(inn)).field(text(newPassword));
  return run(body);
}

uint16_t TRMA_OpenCashDrawer(void) {
  Body body(0x80);
  return run(body);
}

uint16_t TRMA_WriteConfig(uint16_t table, uint16_t field, TRMA_STRING* value) {
  Body body(0xA2);
  body.num(table).num(field).field(text(value));
  return run(body);
}

uint16_t TRMA_SetDate(TRMADT* date, TRMATM* time) {
  Body body(0xA3);
  body.date(date).time(time);
  return run(body);
}

uint16_t TRMA_GetEEJStatus(void) {
  Body body(0xA4);
  return run(body);
}

uint16_t TRMA_Install(TRMADT* date, TRMATM* time, TRMA_SERIAL_NUMBER* serial) {
  Body body(0xE0);
  body.date(date).time(time).field(text(serial));
  return run(body);
}

uint16_t TRMA_CALLEE TRMA_ShowClientDisplayText(TRMA_CLIENTDISPLAYTEXT* line1, TRMA_CLIENTDISPLAYTEXT* line2) {
  try {
    Body body(0x81);
    body.field(text(line1)).field(text(line2));
    return run(body);
  } catch (uint16_t code) { return code; }
}

uint16_t TRMA_ReadConfig(uint16_t table, uint16_t field, TRMA_STRING* value) {
  Body body(0xA1);
  body.num(table).num(field);
  uint16_t code = run(body);
  if (code == 0) copyOut(value, link::NextField(body.str()));
  return code;
}

uint16_t TRMA_GetEEJActData(TRMA_STRING& data) {
  Body body(0xA4);
  body.field("2");
  return queryText(body, data);
}

uint16_t TRMA_GetVersion(uint16_t* version) {
  try {
    return queryNumber("0", version);
  } catch (uint16_t code) {
    if (version) *version = 120;
    return code;
  }
}

uint16_t TRMA_GetCurrentShift(uint16_t* shift) { return queryNumber("1", shift); }
uint16_t TRMA_GetLastRegShift(uint16_t* shift) { return queryNumber("2", shift); }

uint16_t TRMA_GetINN(TRMA_STRING& inn) {
  Body body(0xA5);
  body.field("9");
  return queryText(body, inn);
}

uint16_t TRMA_EEJRegNum(TRMA_STRING& number) {
  Body body(0xA5);
  body.field("11");
  return queryText(body, number);
}

uint16_t TRMA_GetFMLastData(TRMA_STRING& date, TRMA_STRING& time) {
  Body body(0xA5);
  body.field("20");
  return queryTwoTexts(body, date, time);
}

uint16_t TRMA_GetRegNumber(TRMA_REGISTRATION_NUMBER* regNumber) {
  Body body(0xA6);
  uint16_t code = run(body);
  if (code == 0) copyOut(regNumber, link::NextField(body.str()));
  return code;
}

uint16_t TRMA_GetKKMDataTime(TRMA_STRING& date, TRMA_STRING& time) {
  Body body(0xA7);
  body.field("");
  return queryTwoTexts(body, date, time);
}

int TRMA_ChangePwd(TRMA_STRING* newPassword, bool toRegister) {
  link::DriverState& s = link::state();
  const std::string kept = s.password;
  if (toRegister) {
    try {
      TRMA_WriteConfig(31, 0, newPassword);
    } catch (uint16_t code) {
      s.password = kept;
      throw;
    }
  }
  s.setPassword(text(newPassword));
  ini::writeString(paths::iniPath(), "General", "pswd", s.password);
  return 0;
}

void TRMA_PutCommand(TRMA_COMMAND command) {
  link::SendFrame(std::string_view(command, ::strnlen(command, sizeof(TRMA_COMMAND))));
}

uint16_t TRMA_GetReceive(TRMA_COMMAND& reply, bool toAnsi) {
  copyOut(reply, link::ReadReply(true, toAnsi));
  return 0;
}

}  // extern "C"

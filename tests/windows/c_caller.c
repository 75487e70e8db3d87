/* SPDX-License-Identifier: GPL-3.0-or-later */
/*
 * A point-of-sale program's view of TERMINA-1.dll: plain C, built with the C
 * compiler and linked against nothing of the library's C++ runtime.  It
 * loads the DLL by name, resolves the session interface by plain names and
 * talks to a simulated register:
 *
 *   c_caller tcp HOST PORT    the register behind a TCP gateway
 *   c_caller com              the register on COM1
 *
 * It writes and reads back a Cyrillic setting in UTF-8, meets a refusal as
 * a returned code, and carries on with the same session.  Prints one line
 * per check and exits 1 when any failed.
 */
#include "termina.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int failures = 0;

static void check(int ok, const char* what) {
  printf("%s: c caller: %s\n", ok ? "ok" : "FAILED", what);
  fflush(stdout);
  if (!ok) ++failures;
}

typedef int (*open_serial_fn)(const char*, unsigned, const char*, termina_session**);
typedef int (*open_tcp_fn)(const char*, unsigned, const char*, termina_session**);
typedef int (*close_fn)(termina_session*);
typedef int (*read_config_fn)(termina_session*, unsigned, unsigned, char*, size_t);
typedef int (*write_config_fn)(termina_session*, unsigned, unsigned, const char*);
typedef int (*get_version_fn)(termina_session*, unsigned*);
typedef int (*error_text_fn)(termina_session*, int, char*, size_t);
typedef const char* (*code_name_fn)(int);

static FARPROC need(HMODULE dll, const char* name) {
  FARPROC f = GetProcAddress(dll, name);
  if (!f) {
    printf("FAILED: c caller: TERMINA-1.dll does not export %s\n", name);
    exit(1);
  }
  return f;
}

int main(int argc, char** argv) {
  HMODULE dll = LoadLibraryA("TERMINA-1.dll");
  termina_session* s = NULL;
  char value[TERMINA_TEXT_MAX];
  char text[TERMINA_MESSAGE_MAX];
  unsigned version = 0;
  int rc;
  /* "Магазин №1" in UTF-8. */
  const char* shop =
      "\xD0\x9C\xD0\xB0\xD0\xB3\xD0\xB0\xD0\xB7\xD0\xB8\xD0\xBD \xE2\x84\x96"
      "1";
  if (!dll) {
    printf("FAILED: c caller: TERMINA-1.dll does not load (error %lu)\n", (unsigned long)GetLastError());
    return 1;
  }
  {
    open_serial_fn open_serial = (open_serial_fn)(void (*)(void))need(dll, "termina_open_serial");
    open_tcp_fn open_tcp = (open_tcp_fn)(void (*)(void))need(dll, "termina_open_tcp");
    close_fn close_session = (close_fn)(void (*)(void))need(dll, "termina_close");
    read_config_fn read_config = (read_config_fn)(void (*)(void))need(dll, "termina_read_config");
    write_config_fn write_config = (write_config_fn)(void (*)(void))need(dll, "termina_write_config");
    get_version_fn get_version = (get_version_fn)(void (*)(void))need(dll, "termina_get_version");
    error_text_fn error_text = (error_text_fn)(void (*)(void))need(dll, "termina_error_text");
    code_name_fn code_name = (code_name_fn)(void (*)(void))need(dll, "termina_code_name");

    if (argc == 4 && strcmp(argv[1], "tcp") == 0)
      rc = open_tcp(argv[2], (unsigned)atoi(argv[3]), NULL, &s);
    else if (argc == 2 && strcmp(argv[1], "com") == 0)
      rc = open_serial("COM1", 19200, NULL, &s);
    else {
      printf("usage: c_caller tcp HOST PORT | c_caller com\n");
      return 2;
    }
    check(rc == 0 && s != NULL, "the session opens");
    if (rc != 0) return 1;

    check(write_config(s, 20, 1, shop) == 0, "a Cyrillic setting is written in UTF-8");
    rc = read_config(s, 20, 1, value, sizeof value);
    check(rc == 0 && strcmp(value, shop) == 0, "and read back in UTF-8");

    rc = read_config(s, 999, 0, value, sizeof value);
    check(rc == 3 && value[0] == '\0', "a refusal comes back as the returned code 3");
    check(code_name(rc) != NULL && strcmp(code_name(rc), "bad_parameter") == 0, "with its stable name");
    check(error_text(s, rc, text, sizeof text) == 0 && text[0] != '\0', "and its text");
    check(read_config(s, 20, 1, value, 0) == TERMINA_E_ARGUMENT, "a buffer of size 0 is refused");
    check(read_config(NULL, 20, 1, value, sizeof value) == TERMINA_E_ARGUMENT, "a null session is refused");

    rc = get_version(s, &version);
    check(rc == 0 && version == 201, "the session carries on after the refusal");
    check(close_session(s) == 0, "the session closes");
    check(get_version(s, &version) == TERMINA_E_CLOSED, "a closed session says so");
  }
  FreeLibrary(dll);
  return failures ? 1 : 0;
}

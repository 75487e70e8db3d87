/* SPDX-License-Identifier: LGPL-2.1-or-later */
/*
 * termina.h - the session interface of the TERMINA-1 driver library.
 *
 * A session is one connection to one register: a serial line or a TCP link
 * to a gateway, with its own data-exchange password and packet id.  Several
 * sessions may be open at once in one process.  Calls on one session from
 * several threads are serialised by the session (a second caller waits for
 * the first); calls on different sessions run in parallel.
 *
 * Every function returns its result code as an int and never throws or ends
 * the process:
 *   0                 success;
 *   1..255            the register's codes (64: the register has no data; a
 *                     command that gets 64 has finished and its outputs are
 *                     zero or empty, as for any other failure);
 *   3, 7, 16..19, 48, 80
 *                     the driver's link codes, as the original interface;
 *   TERMINA_E_...     (256 and up) failures of this interface itself.
 * termina_code_name() gives every known code a short stable name and
 * termina_code_is_driver() tells the driver's codes from the register's.
 *
 * Text crosses this interface in UTF-8, NUL-terminated.  Text going to the
 * register must be representable in the register's Cyrillic code page, hold
 * no control characters and fit the field (the character limits below);
 * otherwise the call returns TERMINA_E_ARGUMENT and sends nothing.  No text
 * argument may be NULL (pass "" for an empty field), except the password of
 * termina_open_serial and termina_open_tcp, where NULL means the default;
 * a NULL text returns TERMINA_E_ARGUMENT and sends nothing.  Text
 * coming back is written into caller buffers whose size in bytes is passed
 * beside them; when it does not fit, the buffer holds as many whole
 * characters as fit and the call returns TERMINA_E_BUFFER (the command
 * itself has run).  TERMINA_TEXT_MAX bytes hold any field of up to 40
 * characters, which covers every field the register's commands return.
 *
 * Outputs are written on every return: the register's values on 0, zero or
 * empty text otherwise.  The driver never keeps a caller's pointer.
 *
 * A reply always belongs to its request.  When a call ends before its reply
 * came (its deadline, a broken exchange), the next call on the session first
 * waits out that reply, within the session's patience and the call's own
 * deadline, and throws it away; over TCP, as on the serial line, whatever
 * else waits on the link is thrown away before each request.
 */
#ifndef TERMINA_H
#define TERMINA_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(TERMINA1_BUILDING)
#define TERMINA_API
#else
#define TERMINA_API __declspec(dllimport)
#endif
#else
#define TERMINA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Result codes of this interface ------------------------------------ */

enum {
  TERMINA_OK = 0,
  TERMINA_E_NODATA = 64,    /* register: no data                              */
  TERMINA_E_ARGUMENT = 256, /* a null session, pointer or buffer, a size of 0,
                               a text the register cannot take, a bad speed   */
  TERMINA_E_CLOSED = 257,   /* the session was closed (or never opened)       */
  TERMINA_E_BUFFER = 258,   /* the result did not fit the caller's buffer     */
  TERMINA_E_DEADLINE = 259, /* the call's deadline passed (see set_deadline)  */
  TERMINA_E_BUSY = 260,     /* called from the trace callback of the same
                               session, which would break the running call    */
  TERMINA_E_INTERNAL = 261  /* out of memory or another failure of the host   */
};

/* Bytes that hold a returned field of up to 40 characters, with its NUL. */
#define TERMINA_TEXT_MAX 128
/* Bytes that hold any result code's text, with its NUL. */
#define TERMINA_MESSAGE_MAX 1024

/* Character limits of the texts sent to the register. */
#define TERMINA_TEXT_CHARS 40          /* general text, article, discount, caption */
#define TERMINA_NAME_CHARS 20          /* operator name, article code, display line */
#define TERMINA_PASSWORD_CHARS 10      /* tax inspector password                   */
#define TERMINA_NUMBER_CHARS 12        /* registration number, INN, serial number  */
#define TERMINA_LINK_PASSWORD_CHARS 59 /* data-exchange password              */

/* ---- Shared types --------------------------------------------------------- */

typedef struct termina_session termina_session; /* opaque */

typedef struct termina_date {
  uint8_t day;   /* 1..31 */
  uint8_t month; /* 1..12 */
  uint16_t year; /* full year, 2000..2099 */
} termina_date;

typedef struct termina_time {
  uint8_t hour;
  uint8_t minute;
  uint8_t second;
} termina_time;

/* The status bytes of termina_get_status and termina_get_printer_status. */
typedef struct termina_status {
  uint8_t fatal;   /* TERMINA_FATAL_... bits    */
  uint8_t status;  /* TERMINA_STATUS_... bits   */
  uint8_t receipt; /* bits 0..3 document type, bits 4..7 document state */
} termina_status;

#define TERMINA_FATAL_NVR_CHECKSUM 0x01
#define TERMINA_FATAL_CONFIG_CRC 0x02
#define TERMINA_FATAL_SPI 0x04
#define TERMINA_FATAL_FM_CRC 0x08
#define TERMINA_FATAL_FM_WRITE 0x10
#define TERMINA_FATAL_NOT_INSTALLED 0x20
#define TERMINA_FATAL_EEJ 0x40
#define TERMINA_FATAL_EEJ_MISMATCH 0x80

#define TERMINA_STATUS_NO_INIT 0x01
#define TERMINA_STATUS_NON_FISCAL 0x02
#define TERMINA_STATUS_SHIFT_OPEN 0x04
#define TERMINA_STATUS_SHIFT_OVER_24H 0x08
#define TERMINA_STATUS_EEJ_ARCHIVE_CLOSED 0x10
#define TERMINA_STATUS_EEJ_NOT_ACTIVATED 0x20
#define TERMINA_STATUS_NO_FM_SPACE 0x40
#define TERMINA_STATUS_WRONG_FM_PASSWORD 0x80

#define TERMINA_PRINTER_NO_PAPER 0x02
#define TERMINA_PRINTER_COVER_OPEN 0x04
#define TERMINA_PRINTER_HEAD_OVERHEAT 0x08
#define TERMINA_PRINTER_CUTTER 0x10
#define TERMINA_PRINTER_VOLTAGE 0x20

/* ---- Sessions ------------------------------------------------------------- */

/* Opens a serial line: device is a path ("/dev/ttyUSB0") or a port name
 * "COM<n>" (mapped as the original interface maps it); speed is one of 2400,
 * 4800, 9600, 19200, 38400, 57600, 115200 (0 means 19200).  password is the
 * data-exchange password (NULL: "WKRD").  The register must answer the
 * presence probe (else 19); a register of version 129 or below settles on the
 * default password, as with TRMA_CheckPort.  On success *out is the session;
 * on failure *out is NULL and nothing stays open. */
TERMINA_API int termina_open_serial(const char* device, unsigned speed, const char* password, termina_session** out);

/* Opens a TCP link to a gateway at host:port, otherwise as
 * termina_open_serial.  80 when the connection cannot be made. */
TERMINA_API int termina_open_tcp(const char* host, unsigned port, const char* password, termina_session** out);

/* Opens the connection the INI file describes, exactly as TRMA_CheckPort
 * does (forceSerial: ignore the TCP mode), writing back the port and the
 * password as it does.  The codes are TRMA_CheckPort's. */
TERMINA_API int termina_open_ini(int force_serial, termina_session** out);

/* Closes the link and ends the session; the handle is dead afterwards and
 * every call with it returns TERMINA_E_CLOSED.  Waits for a call running
 * on the session from another thread.  NULL: TERMINA_E_ARGUMENT. */
TERMINA_API int termina_close(termina_session* s);

/* Sets the data-exchange password the next frames carry (at most 59
 * characters); nothing is sent. */
TERMINA_API int termina_set_password(termina_session* s, const char* password);

/* The password change of TRMA_ChangePwd: with to_register set, the register's
 * table 31 is written first (on failure the password stays as it was); then
 * the session uses the new password, and a session opened from the INI file
 * writes it there too. */
TERMINA_API int termina_change_password(termina_session* s, const char* password, int to_register);

/* Reply patience in silent read waits, as TRMATMOUT for the original
 * interface (0, the default: follow TRMATMOUT). */
TERMINA_API int termina_set_patience(termina_session* s, unsigned waits);

/* An overall limit for every later call on the session, in milliseconds
 * from the call's start, on top of the protocol's own waits (0, the default:
 * none).  A call that passes it returns TERMINA_E_DEADLINE, on a serial line
 * and over TCP alike within about 100 ms after the limit: every wait for a
 * byte is cut short by it.  The reply such a call leaves owing is waited
 * out by the next call (see the top of this file). */
TERMINA_API int termina_set_deadline(termina_session* s, unsigned milliseconds);

/* Sends CAN to cancel a report the register is printing.  Meant to be called
 * from another thread while a report call waits on the same session; it
 * does not wait for that call.  The register then ends the report and the
 * waiting call returns the register's code.  From the session's own trace
 * callback: TERMINA_E_BUSY, nothing sent. */
TERMINA_API int termina_cancel_report(termina_session* s);

/* ---- The exchange trace ---------------------------------------------------- */

enum termina_trace_direction {
  TERMINA_TRACE_OUT = 0, /* sent to the register      */
  TERMINA_TRACE_IN = 1,  /* received from it          */
  TERMINA_TRACE_NOTE = 2 /* an event of the driver's  */
};

enum termina_trace_kind {
  TERMINA_TRACE_FRAME = 0,   /* a request (OUT) or reply (IN) frame              */
  TERMINA_TRACE_ENQ = 1,     /* the ENQ control byte                             */
  TERMINA_TRACE_ACK = 2,     /* the ACK control byte                             */
  TERMINA_TRACE_CAN = 3,     /* the CAN control byte                             */
  TERMINA_TRACE_RAW = 4,     /* other bytes written or read as they are          */
  TERMINA_TRACE_SILENCE = 5, /* NOTE: a read wait ended without a byte           */
  TERMINA_TRACE_FAILURE = 6  /* NOTE: the driver fails the call with `result`    */
};

typedef struct termina_trace_record {
  int direction;             /* enum termina_trace_direction                     */
  int kind;                  /* enum termina_trace_kind                          */
  uint64_t time_ns;          /* monotonic clock, nanoseconds since the session opened */
  int command;               /* the frame's command code (a reply: the code of
                                the request it answers); -1 when there is none   */
  int result;                /* a reply's result code, a failure's code; else -1 */
  size_t field_count;        /* fields of a request or reply frame               */
  const char* const* fields; /* their texts, UTF-8, NUL-terminated               */
  const uint8_t* bytes;      /* the bytes on the line (a TCP request: with its
                                envelope), passwords overwritten with '*'        */
  size_t byte_count;
  const char* text; /* the event as one readable line, UTF-8, without a
                       line end: the line TERMINA_TRACE writes          */
} termina_trace_record;

/* Called on the calling thread, inside the call, once per frame, control
 * byte and event; the record and everything it points to lives only for the
 * callback.  Every function given the callback's own session returns
 * TERMINA_E_BUSY at once when called from the callback (termina_close,
 * termina_cancel_report and termina_error_text included); other sessions
 * may be used.  Passwords never appear in a record or a trace file: the
 * data-exchange password written to or read from table 31 and the tax
 * inspector's passwords of the registration and of the fiscal memory
 * reports are shown as "***" in `fields` and `text`, and as '*' bytes in
 * `bytes`, as is the data-exchange password at the head of every request
 * frame. */
typedef void (*termina_trace_fn)(void* user, const termina_trace_record* record);

/* Sets (NULL: removes) the session's trace callback. */
TERMINA_API int termina_set_trace(termina_session* s, termina_trace_fn fn, void* user);

/* Sets (NULL: removes) the trace callback of the original interface's
 * connection: the one the TRMA_ functions of termina1.h use.  Its records'
 * times count from the library's load.  Returns 0. */
TERMINA_API int termina_set_trma_trace(termina_trace_fn fn, void* user);

/* ---- Result codes ---------------------------------------------------------- */

/* A short stable name of the code ("ok", "checksum", "reply_timeout", ...),
 * lower case ASCII; NULL for a code without one.  Never changes between
 * versions. */
TERMINA_API const char* termina_code_name(int code);

/* 1 for the driver's own codes (the link's and this interface's), 0 for 0
 * and the register's codes. */
TERMINA_API int termina_code_is_driver(int code);

/* The code's text in UTF-8, as TRMA_GetErrorMessage composes it (code 1
 * asks the session's register for its status; s may be NULL, then the text
 * says the status could not be read).  TERMINA_MESSAGE_MAX bytes suffice. */
TERMINA_API int termina_error_text(termina_session* s, int code, char* text, size_t size);

/* ---- Link ------------------------------------------------------------------ */

/* The presence probe: *active is 1 when the register answers ENQ with ACK.
 * Returns 0 either way (or TERMINA_E_ARGUMENT, _CLOSED, _DEADLINE). */
TERMINA_API int termina_check_active(termina_session* s, int* active);

/* ---- Status ---------------------------------------------------------------- */

TERMINA_API int termina_get_status(termina_session* s, termina_status* status);
TERMINA_API int termina_get_printer_status(termina_session* s, uint8_t* printer);

/* ---- Receipts (result: the register's figure for the line or total) --------- */

TERMINA_API int termina_open_receipt(termina_session* s, unsigned a, unsigned b, const char* operator_name, uint32_t c);
TERMINA_API int termina_print_string(termina_session* s, const char* text);
TERMINA_API int termina_close_receipt(termina_session* s);
TERMINA_API int termina_break_receipt(termina_session* s);
TERMINA_API int termina_bar_code(termina_session* s, unsigned n1, unsigned n2, unsigned n3, unsigned n4,
                                 const char* text);
TERMINA_API int termina_add_article(termina_session* s, const char* name, const char* code, double quantity,
                                    double price, unsigned n, double* result);
TERMINA_API int termina_storno_article(termina_session* s, const char* name, const char* code, double quantity,
                                       double price, int32_t n, double* result);
TERMINA_API int termina_discount_percent(termina_session* s, const char* name, double value, double* result);
TERMINA_API int termina_discount_total(termina_session* s, const char* name, double value, double* result);
TERMINA_API int termina_extra_percent(termina_session* s, const char* name, double value, double* result);
TERMINA_API int termina_extra_total(termina_session* s, const char* name, double value, double* result);
TERMINA_API int termina_subtotal(termina_session* s, double* result);
TERMINA_API int termina_payment(termina_session* s, unsigned type, double sum, double* result);
TERMINA_API int termina_cash_in_out(termina_session* s, const char* caption, double sum, double* result);

/* ---- Reports and EEJ (the long ones may be cancelled) ------------------------ */

TERMINA_API int termina_activate_eej(termina_session* s);
TERMINA_API int termina_close_eej_archive(termina_session* s);
TERMINA_API int termina_x_report(termina_session* s, const char* operator_name);
TERMINA_API int termina_z_report(termina_session* s, const char* operator_name);
TERMINA_API int termina_fisc_shift_report(termina_session* s, unsigned type, unsigned first_shift, unsigned last_shift,
                                          const char* password);
TERMINA_API int termina_fisc_date_report(termina_session* s, unsigned type, const termina_date* first,
                                         const termina_date* last, const char* password);
TERMINA_API int termina_eej_journal(termina_session* s, unsigned shift);
TERMINA_API int termina_get_receipt(termina_session* s, uint32_t kpk);
TERMINA_API int termina_eej_shift_report(termina_session* s, unsigned type, unsigned first_shift, unsigned last_shift);
TERMINA_API int termina_eej_date_report(termina_session* s, unsigned type, const termina_date* first,
                                        const termina_date* last);
TERMINA_API int termina_eej_activate_report(termina_session* s);
TERMINA_API int termina_eej_report(termina_session* s, unsigned shift);
/* Waits (with the long patience) for the end of a report started before. */
TERMINA_API int termina_report_finished(termina_session* s);

/* ---- Service ----------------------------------------------------------------- */

TERMINA_API int termina_init(termina_session* s, const termina_date* date, const termina_time* time);
TERMINA_API int termina_register(termina_session* s, const char* current_password, const char* registration_number,
                                 const char* inn, const char* new_password);
TERMINA_API int termina_open_cash_drawer(termina_session* s);
TERMINA_API int termina_write_config(termina_session* s, unsigned table, unsigned field, const char* value);
TERMINA_API int termina_set_date(termina_session* s, const termina_date* date, const termina_time* time);
TERMINA_API int termina_get_eej_status(termina_session* s);
TERMINA_API int termina_install(termina_session* s, const termina_date* date, const termina_time* time,
                                const char* serial_number);
TERMINA_API int termina_show_client_display_text(termina_session* s, const char* line1, const char* line2);

/* ---- Queries ------------------------------------------------------------------ */

TERMINA_API int termina_read_config(termina_session* s, unsigned table, unsigned field, char* value, size_t size);
/* The register's version; 120 when it did not answer (the code says why). */
TERMINA_API int termina_get_version(termina_session* s, unsigned* version);
TERMINA_API int termina_get_current_shift(termina_session* s, unsigned* shift);
TERMINA_API int termina_get_last_reg_shift(termina_session* s, unsigned* shift);
TERMINA_API int termina_get_eej_act_data(termina_session* s, char* data, size_t size);
TERMINA_API int termina_get_inn(termina_session* s, char* inn, size_t size);
TERMINA_API int termina_eej_reg_num(termina_session* s, char* number, size_t size);
TERMINA_API int termina_get_reg_number(termina_session* s, char* number, size_t size);
TERMINA_API int termina_get_fm_last_data(termina_session* s, char* date, size_t date_size, char* time,
                                         size_t time_size);
TERMINA_API int termina_get_kkm_date_time(termina_session* s, char* date, size_t date_size, char* time,
                                          size_t time_size);

/* ---- Raw frames ---------------------------------------------------------------- */

/* Sends bytes as a request frame, unchanged (TRMA_PutCommand). */
TERMINA_API int termina_put_command(termina_session* s, const void* frame, size_t count);
/* Collects the next reply frame whole, STX through the checksum
 * (TRMA_GetReceive).  decode 0: the bytes as received, *length their
 * count; decode 1: the text converted to UTF-8, NUL-terminated. */
TERMINA_API int termina_get_receive(termina_session* s, int decode, char* reply, size_t size, size_t* length);

/* ---- Logo and memory blocks ------------------------------------------------------ */

TERMINA_API int termina_clear_logo(termina_session* s);
/* Uploads a logo file: path in UTF-8, a path of this host (on Windows a
 * Windows path); 3 when it cannot be opened. */
TERMINA_API int termina_load_logo(termina_session* s, const char* path);
/* Reads count bytes of a memory area into out, which holds size bytes
 * (size >= count); 64 when a block had no data (its bytes are zero). */
TERMINA_API int termina_read_mem_block(termina_session* s, unsigned area, unsigned address, unsigned count,
                                       uint8_t* out, size_t size);
/* Writes count bytes into a memory area (TRMA_ReadBlock, command E7). */
TERMINA_API int termina_write_mem_block(termina_session* s, unsigned area, unsigned address, const uint8_t* data,
                                        size_t count);

#ifdef __cplusplus
}
#endif

#endif /* TERMINA_H */

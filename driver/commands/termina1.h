// SPDX-License-Identifier: LGPL-2.1-or-later
/*
 * termina1.h - public interface of the TERMINA-1 driver library.
 *
 * One exported function per register command.  Every function is declared
 * to return the 16-bit result code, but any code other than 0 and 64 is
 * thrown as a C++ exception whose object is the bare uint16_t code; callers
 * catch `uint16_t` around each call (or each sequence of calls) and turn the
 * code into text with TRMA_GetErrorMessage.  Exceptions to the rule:
 * TRMA_CheckActive swallows every failure, TRMA_GetVersion returns the code
 * and reports version 120, TRMA_ClearLogo and TRMA_ShowClientDisplayText
 * return the code, TRMA_GetErrorMessage never throws.
 *
 * All text crosses this interface in code page 1251, NUL-terminated, in
 * caller-owned buffers.  The driver never allocates for the caller and never
 * keeps a caller's pointer.  A reply field longer than the caller's buffer is
 * cut to fit (the terminating NUL always fits).
 *
 * The functions have C linkage so that their names are unmangled, but they
 * throw C++ exceptions: they are meant to be used from C++.  The header also
 * compiles as C (a reference parameter is a pointer there, with the same
 * binary layout), for callers that use only the calls that never throw, such
 * as TRMA_GetErrorMessage.
 */
#ifndef TERMINA1_H
#define TERMINA1_H

#ifdef __cplusplus
#include <cstdint>
#define TRMA_BYREF &
#else
#include <stdbool.h>
#include <stdint.h>
#define TRMA_BYREF *
#endif

#if defined(_WIN32)
#if defined(TERMINA1_BUILDING)
/* The module-definition file names the exports. */
#define TRMA_API
#else
#define TRMA_API __declspec(dllimport)
#endif
#else
#define TRMA_API __attribute__((visibility("default")))
#endif

/* TRMA_ClearLogo and TRMA_ShowClientDisplayText use the callee-cleans
 * convention on 32-bit Windows; every other export is caller-cleans.  On
 * 64-bit platforms (Linux x86-64 included) there is one convention and the
 * macro is empty. */
#if defined(_WIN32) && defined(_M_IX86)
#define TRMA_CALLEE __stdcall
#elif defined(_WIN32) && defined(__i386__)
#define TRMA_CALLEE __attribute__((stdcall))
#else
#define TRMA_CALLEE
#endif

/* ---- Text buffer types (size = characters + terminating NUL) ------------ */

typedef char TRMA_STRING[41];              /* general text, up to 40 chars       */
typedef char TRMA_PASSWORD[11];            /* tax inspector password, up to 10   */
typedef char TRMA_REGISTRATION_NUMBER[13]; /* registration number, up to 12      */
typedef char TRMA_INN[13];                 /* taxpayer number, up to 12          */
typedef char TRMA_SERIAL_NUMBER[13];       /* factory serial number, up to 12    */
typedef char TRMA_OPERATOR_NAME[21];       /* operator (cashier) name, up to 20  */
typedef char TRMA_ARTICLE_NAME[41];        /* article name, up to 40 (one printed line) */
typedef char TRMA_ARTICLE_CODE[21];        /* article code, up to 20             */
typedef char TRMA_DISCOUNT_NAME[41];       /* discount/surcharge caption, up to 40 */
typedef char TRMA_BANKNOTE_NAME[41];       /* cash-in/out caption, up to 40      */
typedef char TRMA_LOGO_NAME[260];          /* host path of a logo file, up to 259 */
typedef char TRMA_CLIENTDISPLAYTEXT[21];   /* one customer display line, up to 20 */
typedef char TRMA_COMMAND[1024];           /* a whole raw frame as text, up to 1023;
                                              a longer received frame is cut */
typedef char TRMA_ERROR_MESSAGE[512];      /* message text; the longest is 494 chars */

/* ---- Date and time --------------------------------------------------- */

typedef struct TRMADT {
  uint8_t day;   /* 1..31 */
  uint8_t month; /* 1..12 */
  uint16_t year; /* full year, e.g. 2007; sent as year - 2000 */
} TRMADT;

typedef struct TRMATM {
  uint8_t hour;
  uint8_t minute;
  uint8_t second;
} TRMATM;

/* ---- Status bytes (one-byte unions of eight flags) -------------------- */

typedef union TRMA_FATAL_STATUS {
  uint8_t byte;
  struct {
    uint8_t bNvrChecksum : 1;       /* 0 wrong NVR checksum                */
    uint8_t bConfigCrc : 1;         /* 1 wrong configuration CRC           */
    uint8_t bSpiError : 1;          /* 2 SPI interface error               */
    uint8_t bFiscalMemoryCrc : 1;   /* 3 wrong fiscal memory CRC           */
    uint8_t bFiscalMemoryWrite : 1; /* 4 fiscal memory write error         */
    uint8_t bNotInstalled : 1;      /* 5 fiscal module not installed       */
    uint8_t bEejFatal : 1;          /* 6 fatal EEJ error                   */
    uint8_t bEejMismatch : 1;       /* 7 register and EEJ data disagree    */
  } bits;
} TRMA_FATAL_STATUS;

typedef union TRMA_STATUS {
  uint8_t byte;
  struct {
    uint8_t bNoInit : 1;           /* 0 function 0 (TRMA_Init) not called */
    uint8_t bNonFiscal : 1;        /* 1 non-fiscal mode                   */
    uint8_t bShiftOpen : 1;        /* 2 shift open                        */
    uint8_t bShiftOver24h : 1;     /* 3 shift longer than 24 hours        */
    uint8_t bEejArchiveClosed : 1; /* 4 EEJ archive closed                */
    uint8_t bEejNotActivated : 1;  /* 5 EEJ not activated                 */
    uint8_t bNoFiscalMemory : 1;   /* 6 no fiscal memory to close a shift */
    uint8_t bWrongFmPassword : 1;  /* 7 wrong fiscal memory password      */
  } bits;
} TRMA_STATUS;

typedef union TRMA_REC_STATUS {
  uint8_t byte;
  struct {
    uint8_t docType : 4;  /* bits 0..3 document type             */
    uint8_t docState : 4; /* bits 4..7 document state            */
  } bits;
} TRMA_REC_STATUS;

typedef union TRMA_PRINTER_STATUS {
  uint8_t byte;
  struct {
    uint8_t bReserved0 : 1;    /* 0 not shown                         */
    uint8_t bNoPaper : 1;      /* 1 no paper                          */
    uint8_t bCoverOpen : 1;    /* 2 printer cover open                */
    uint8_t bHeadOverheat : 1; /* 3 print head overheated             */
    uint8_t bCutterError : 1;  /* 4 cutter error                      */
    uint8_t bVoltage : 1;      /* 5 supply voltage out of range       */
    uint8_t bReserved6 : 1;
    uint8_t bReserved7 : 1;
  } bits;
} TRMA_PRINTER_STATUS;

/* ---- Result codes produced by the driver itself ----------------------- */

enum {
  TRMA_OK = 0,
  TRMA_E_STATUS = 1,      /* register: wrong device status (text composed) */
  TRMA_E_PARAM = 3,       /* logo file cannot be opened                  */
  TRMA_E_CHECKSUM = 7,    /* reply checksum differs                      */
  TRMA_E_WRITE = 16,      /* fewer bytes written than asked              */
  TRMA_E_NODATA = 17,     /* no byte within the read time-out            */
  TRMA_E_PORT = 18,       /* serial port cannot be opened                */
  TRMA_E_NOREGISTER = 19, /* no ACK to the presence probe                */
  TRMA_E_TIMEOUT = 48,    /* reply patience exhausted; also a reply that
                             exceeds TRMA_MAX_REPLY bytes                */
  TRMA_E_NODATA64 = 64,   /* register: no data (returned, not thrown)    */
  TRMA_E_TCP = 80         /* TCP link not established                    */
};

/* Largest reply frame the driver collects.  A peer that sends more without
 * ending the frame is treated as a reply that never completes: the exchange
 * fails with 48 instead of growing without bound. */
#define TRMA_MAX_REPLY 8192

/* Largest request frame that fits the TCP envelope buffer of 1024 bytes. */
#define TRMA_MAX_TCP_FRAME 1020

#ifdef __cplusplus
extern "C" {
#endif

/* Reply patience: number of silent read waits (each followed by ENQ) before
 * an exchange gives up with 48; long replies allow twice as many.  May be
 * changed at any time; the next wait uses the new value. */
TRMA_API extern uint16_t TRMATMOUT;

/* ---- Link and port ---------------------------------------------------- */
TRMA_API uint16_t TRMA_CheckPort(bool forceSerial);
TRMA_API uint16_t TRMA_ClosePort(void);
TRMA_API void TRMA_ReleasePort(void);
TRMA_API uint16_t TRMA_CheckActive(uint16_t* active);

/* ---- Status and errors ------------------------------------------------ */
TRMA_API uint16_t TRMA_GetStatus(TRMA_FATAL_STATUS* fatal, TRMA_STATUS* status, TRMA_REC_STATUS* recStatus);
TRMA_API uint16_t TRMA_GetPrinterStatus(TRMA_PRINTER_STATUS* printer);
TRMA_API int TRMA_GetErrorMessage(uint16_t code, TRMA_ERROR_MESSAGE* message);

/* ---- Receipts ---------------------------------------------------------- */
TRMA_API uint16_t TRMA_OpenReceipt(uint16_t a, uint16_t b, TRMA_OPERATOR_NAME* op, uint32_t c);
TRMA_API uint16_t TRMA_PrintString(TRMA_STRING* text);
TRMA_API uint16_t TRMA_CloseReceipt(void);
TRMA_API uint16_t TRMA_BreakReceipt(void);
TRMA_API uint16_t TRMA_BarCode(uint16_t n1, uint16_t n2, uint16_t n3, uint16_t n4, TRMA_STRING* text);
TRMA_API uint16_t TRMA_AddArticle(TRMA_ARTICLE_NAME* name, TRMA_ARTICLE_CODE* code, double quantity, double price,
                                  uint16_t n, double* result);
TRMA_API uint16_t TRMA_StornoArticle(TRMA_ARTICLE_NAME* name, TRMA_ARTICLE_CODE* code, double quantity, double price,
                                     int32_t n, double* result);
TRMA_API uint16_t TRMA_DiscountPercent(TRMA_DISCOUNT_NAME* name, double value, double* result);
TRMA_API uint16_t TRMA_DiscountTotal(TRMA_DISCOUNT_NAME* name, double value, double* result);
TRMA_API uint16_t TRMA_ExtraPercent(TRMA_DISCOUNT_NAME* name, double value, double* result);
TRMA_API uint16_t TRMA_ExtraTotal(TRMA_DISCOUNT_NAME* name, double value, double* result);
TRMA_API uint16_t TRMA_SubTotal(double* result);
TRMA_API uint16_t TRMA_Payment(uint16_t type, double sum, double* result);
TRMA_API uint16_t TRMA_CashInOut(TRMA_BANKNOTE_NAME* caption, double sum, double* result);

/* ---- Reports and EEJ --------------------------------------------------- */
TRMA_API uint16_t TRMA_ActivateEEJ(void);
TRMA_API uint16_t TRMA_CloseEEJArchive(void);
TRMA_API uint16_t TRMA_XReport(TRMA_OPERATOR_NAME* op);
TRMA_API uint16_t TRMA_ZReport(TRMA_OPERATOR_NAME* op);
TRMA_API uint16_t TRMA_FiscShiftReport(uint16_t type, uint16_t firstShift, uint16_t lastShift, TRMA_PASSWORD* password);
TRMA_API uint16_t TRMA_FiscDateReport(uint16_t type, TRMADT* firstDate, TRMADT* lastDate, TRMA_PASSWORD* password);
TRMA_API uint16_t TRMA_EEJJournal(uint16_t shift);
TRMA_API uint16_t TRMA_GetReceipt(uint32_t kpk);
TRMA_API uint16_t TRMA_EEJShiftReport(uint16_t type, uint16_t firstShift, uint16_t lastShift);
TRMA_API uint16_t TRMA_EEJDateReport(uint16_t type, TRMADT* firstDate, TRMADT* lastDate);
TRMA_API uint16_t TRMA_EEJActivateReport(void);
TRMA_API uint16_t TRMA_EEJReport(uint16_t shift);
TRMA_API uint16_t TRMA_ReportFinished(void);
TRMA_API uint16_t TRMA_CancelReport(void);

/* ---- Service commands ------------------------------------------------- */
TRMA_API uint16_t TRMA_Init(TRMADT* date, TRMATM* time);
TRMA_API uint16_t TRMA_Register(TRMA_PASSWORD* currentPassword, TRMA_REGISTRATION_NUMBER* regNumber, TRMA_INN* inn,
                                TRMA_PASSWORD* newPassword);
TRMA_API uint16_t TRMA_OpenCashDrawer(void);
TRMA_API uint16_t TRMA_WriteConfig(uint16_t table, uint16_t field, TRMA_STRING* value);
TRMA_API uint16_t TRMA_SetDate(TRMADT* date, TRMATM* time);
TRMA_API uint16_t TRMA_GetEEJStatus(void);
TRMA_API uint16_t TRMA_Install(TRMADT* date, TRMATM* time, TRMA_SERIAL_NUMBER* serial);
TRMA_API uint16_t TRMA_CALLEE TRMA_ShowClientDisplayText(TRMA_CLIENTDISPLAYTEXT* line1, TRMA_CLIENTDISPLAYTEXT* line2);

/* ---- Queries ---------------------------------------------------------- */
TRMA_API uint16_t TRMA_ReadConfig(uint16_t table, uint16_t field, TRMA_STRING* value);
TRMA_API uint16_t TRMA_GetEEJActData(TRMA_STRING TRMA_BYREF data);
TRMA_API uint16_t TRMA_GetVersion(uint16_t* version);
TRMA_API uint16_t TRMA_GetCurrentShift(uint16_t* shift);
TRMA_API uint16_t TRMA_GetLastRegShift(uint16_t* shift);
TRMA_API uint16_t TRMA_GetINN(TRMA_STRING TRMA_BYREF inn);
TRMA_API uint16_t TRMA_EEJRegNum(TRMA_STRING TRMA_BYREF number);
TRMA_API uint16_t TRMA_GetFMLastData(TRMA_STRING TRMA_BYREF date, TRMA_STRING TRMA_BYREF time);
TRMA_API uint16_t TRMA_GetRegNumber(TRMA_REGISTRATION_NUMBER* regNumber);
TRMA_API uint16_t TRMA_GetKKMDataTime(TRMA_STRING TRMA_BYREF date, TRMA_STRING TRMA_BYREF time);

/* ---- Password and raw frames ------------------------------------------ */
TRMA_API int TRMA_ChangePwd(TRMA_STRING* newPassword, bool toRegister);
TRMA_API void TRMA_PutCommand(TRMA_COMMAND command);
TRMA_API uint16_t TRMA_GetReceive(TRMA_COMMAND TRMA_BYREF reply, bool toAnsi);

/* ---- Logo and memory blocks ------------------------------------------- */
TRMA_API uint16_t TRMA_CALLEE TRMA_ClearLogo(void);
TRMA_API uint16_t TRMA_LoadLogo(TRMA_LOGO_NAME* path);
TRMA_API uint16_t TRMA_ReadMemBlock(uint16_t area, uint16_t address, uint16_t count, uint8_t* out);
TRMA_API uint16_t TRMA_ReadBlock(uint16_t area, uint16_t address, uint16_t count, uint8_t* data);

#ifdef __cplusplus
}
#endif

#endif /* TERMINA1_H */

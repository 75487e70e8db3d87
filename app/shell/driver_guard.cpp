// SPDX-License-Identifier: GPL-3.0-or-later
// Every driver call of the program passes through here: the program is
// linked with the linker's symbol wrapping (app/CMakeLists.txt), so a call
// of TRMA_X reaches __wrap_TRMA_X, which checks the thread and forwards to
// the library's TRMA_X (__real_TRMA_X).  TRMA_CancelReport (made to be
// called while a command waits) and TRMA_GetErrorMessage (a text lookup
// that touches neither the line nor the driver's state) are not wrapped.
#include <type_traits>

#include "register_worker.h"
#include "termina1.h"

#define TERMINA_WRAP(ret, name, params, args) \
  extern "C" decltype(name) __real_##name;    \
  extern "C" ret __wrap_##name params;        \
  extern "C" ret __wrap_##name params {       \
    reg::Worker::BeforeDriverCall(#name);     \
    return __real_##name args;                \
  }                                           \
  static_assert(std::is_same_v<decltype(__wrap_##name), decltype(name)>, #name " wrapper");

// The list below and TERMINA_WRAPPED_CALLS in app/CMakeLists.txt name the
// same calls.
TERMINA_WRAP(uint16_t, TRMA_CheckPort, (bool force), (force))
TERMINA_WRAP(uint16_t, TRMA_CheckActive, (uint16_t * active), (active))
TERMINA_WRAP(uint16_t, TRMA_GetStatus, (TRMA_FATAL_STATUS * f, TRMA_STATUS* s, TRMA_REC_STATUS* r), (f, s, r))
TERMINA_WRAP(uint16_t, TRMA_GetPrinterStatus, (TRMA_PRINTER_STATUS * p), (p))
TERMINA_WRAP(uint16_t, TRMA_OpenReceipt, (uint16_t a, uint16_t b, TRMA_OPERATOR_NAME* op, uint32_t c), (a, b, op, c))
TERMINA_WRAP(uint16_t, TRMA_CloseReceipt, (), ())
TERMINA_WRAP(uint16_t, TRMA_AddArticle,
             (TRMA_ARTICLE_NAME * name, TRMA_ARTICLE_CODE* code, double q, double p, uint16_t n, double* r),
             (name, code, q, p, n, r))
TERMINA_WRAP(uint16_t, TRMA_SubTotal, (double* r), (r))
TERMINA_WRAP(uint16_t, TRMA_Payment, (uint16_t t, double sum, double* r), (t, sum, r))
TERMINA_WRAP(uint16_t, TRMA_ActivateEEJ, (), ())
TERMINA_WRAP(uint16_t, TRMA_CloseEEJArchive, (), ())
TERMINA_WRAP(uint16_t, TRMA_ZReport, (TRMA_OPERATOR_NAME * op), (op))
TERMINA_WRAP(uint16_t, TRMA_FiscShiftReport, (uint16_t t, uint16_t a, uint16_t b, TRMA_PASSWORD* p), (t, a, b, p))
TERMINA_WRAP(uint16_t, TRMA_FiscDateReport, (uint16_t t, TRMADT* a, TRMADT* b, TRMA_PASSWORD* p), (t, a, b, p))
TERMINA_WRAP(uint16_t, TRMA_EEJJournal, (uint16_t shift), (shift))
TERMINA_WRAP(uint16_t, TRMA_GetReceipt, (uint32_t kpk), (kpk))
TERMINA_WRAP(uint16_t, TRMA_EEJShiftReport, (uint16_t t, uint16_t a, uint16_t b), (t, a, b))
TERMINA_WRAP(uint16_t, TRMA_EEJDateReport, (uint16_t t, TRMADT* a, TRMADT* b), (t, a, b))
TERMINA_WRAP(uint16_t, TRMA_EEJActivateReport, (), ())
TERMINA_WRAP(uint16_t, TRMA_EEJReport, (uint16_t shift), (shift))
TERMINA_WRAP(uint16_t, TRMA_Init, (TRMADT * d, TRMATM* t), (d, t))
TERMINA_WRAP(uint16_t, TRMA_Register, (TRMA_PASSWORD * a, TRMA_REGISTRATION_NUMBER* b, TRMA_INN* c, TRMA_PASSWORD* d),
             (a, b, c, d))
TERMINA_WRAP(uint16_t, TRMA_WriteConfig, (uint16_t t, uint16_t f, TRMA_STRING* v), (t, f, v))
TERMINA_WRAP(uint16_t, TRMA_SetDate, (TRMADT * d, TRMATM* t), (d, t))
TERMINA_WRAP(uint16_t, TRMA_Install, (TRMADT * d, TRMATM* t, TRMA_SERIAL_NUMBER* s), (d, t, s))
TERMINA_WRAP(uint16_t TRMA_CALLEE, TRMA_ShowClientDisplayText, (TRMA_CLIENTDISPLAYTEXT * a, TRMA_CLIENTDISPLAYTEXT* b),
             (a, b))
TERMINA_WRAP(uint16_t, TRMA_ReadConfig, (uint16_t t, uint16_t f, TRMA_STRING* v), (t, f, v))
TERMINA_WRAP(uint16_t, TRMA_GetVersion, (uint16_t * v), (v))
TERMINA_WRAP(uint16_t, TRMA_GetRegNumber, (TRMA_REGISTRATION_NUMBER * n), (n))
TERMINA_WRAP(uint16_t, TRMA_GetFMLastData, (TRMA_STRING TRMA_BYREF d, TRMA_STRING TRMA_BYREF t), (d, t))
TERMINA_WRAP(uint16_t, TRMA_GetKKMDataTime, (TRMA_STRING TRMA_BYREF d, TRMA_STRING TRMA_BYREF t), (d, t))
TERMINA_WRAP(int, TRMA_ChangePwd, (TRMA_STRING * p, bool toRegister), (p, toRegister))
TERMINA_WRAP(uint16_t TRMA_CALLEE, TRMA_ClearLogo, (), ())
TERMINA_WRAP(uint16_t, TRMA_LoadLogo, (TRMA_LOGO_NAME * path), (path))
TERMINA_WRAP(uint16_t, TRMA_ReadMemBlock, (uint16_t a, uint16_t ad, uint16_t n, uint8_t* out), (a, ad, n, out))
TERMINA_WRAP(uint16_t, TRMA_ReadBlock, (uint16_t a, uint16_t ad, uint16_t n, uint8_t* d), (a, ad, n, d))

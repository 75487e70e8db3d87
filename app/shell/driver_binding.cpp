// Binds the shell's driver table to the TERMINA-1 library.
#include "driver_api.h"

void BindDriver() {
  DriverApi& api = Trma();
  api.CheckPort = &TRMA_CheckPort;
  api.CheckActive = &TRMA_CheckActive;
  api.GetVersion = &TRMA_GetVersion;
  api.GetStatus = &TRMA_GetStatus;
  api.GetPrinterStatus = &TRMA_GetPrinterStatus;
  api.GetErrorMessage = &TRMA_GetErrorMessage;
  api.Init = &TRMA_Init;
  api.Install = &TRMA_Install;
  api.ChangePwd = &TRMA_ChangePwd;
  api.CancelReport = &TRMA_CancelReport;
}

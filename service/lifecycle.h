// The service procedure, its control handler and the shared stop state.
#pragma once
#include <windows.h>

extern volatile bool stopRequested;
extern HANDLE pipeEvent;

void WINAPI ServiceMain(DWORD argc, LPWSTR *argv);
void WINAPI ServiceControlHandler(DWORD control);

// Asks the request loop to end and reports stop pending; either thread.
void StopService(void);

// The reports the service makes to the service control manager.
enum StatusReport { StartPending, Running, StopPending, Stopped };

// Fills status for one report. Reports that carry a check point take the
// next value of the process-wide counter (1 at start, never reset).
void FillStatusReport(StatusReport report, DWORD exitCode,
                      SERVICE_STATUS *status);

// Fills the shared status record and hands it to the service control
// manager, one report at a time across both threads. Once stopped has been
// reported, later reports are dropped: 0 is returned and nothing changes.
// Otherwise returns 1, whatever SetServiceStatus answered.
int ReportStatus(StatusReport report, DWORD exitCode);

// The status record as last reported.
extern SERVICE_STATUS serviceStatus;

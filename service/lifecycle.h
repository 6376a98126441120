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
// manager, one report at a time across both threads. Once the stopped report
// has begun, later reports are dropped at once, without waiting for it to
// end: 0 is returned and nothing changes. Otherwise returns 1, whatever
// SetServiceStatus answered.
int ReportStatus(StatusReport report, DWORD exitCode);

// The status record as last reported.
extern SERVICE_STATUS serviceStatus;

// The call that hands a report to the service control manager. It is
// SetServiceStatus; a test may point it at a stand-in that holds the stopped
// report up while another report is tried, as Wine's manager holds it while
// the control handler runs, which the real call will not do on demand.
struct StatusCalls {
  BOOL(WINAPI *setServiceStatus)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);
};
extern StatusCalls statusCalls;

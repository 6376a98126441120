// The service's life under the service control manager: start, serve
// clients on the request pipe until a stop comes from the manager or from a
// client, and report each step.
#include "lifecycle.h"

#include "log.h"
#include "pipe.h"

volatile bool stopRequested = false;
HANDLE pipeEvent = NULL;
SERVICE_STATUS serviceStatus = {};
StatusCalls statusCalls = {SetServiceStatus};

static SERVICE_STATUS_HANDLE statusHandle = NULL;
static DWORD checkPoint = 1;

// The control handler reports stop pending on the main thread while the
// service thread may be reporting stopped. Reports take turns on this
// interlocked word (it needs no set-up, and older Windows has it), and
// nothing is reported once the stopped report has begun, so the manager can
// never see the service fall back to stop pending once it has stopped.
static volatile LONG statusBusy = 0;
static volatile bool stoppedReported = false;

static const DWORD startWaitHint = 2500;
static const DWORD userStopControl = 130;

void FillStatusReport(StatusReport report, DWORD exitCode,
                      SERVICE_STATUS *status) {
  static const DWORD states[] = {SERVICE_START_PENDING, SERVICE_RUNNING,
                                 SERVICE_STOP_PENDING, SERVICE_STOPPED};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status->dwServiceSpecificExitCode = 0;
  status->dwCurrentState = states[report];
  status->dwControlsAccepted = report == StartPending ? 0 : SERVICE_ACCEPT_STOP;
  status->dwWin32ExitCode = report == Stopped ? exitCode : 0;
  bool pending = report == StartPending || report == StopPending;
  status->dwCheckPoint = pending ? checkPoint++ : 0;
  status->dwWaitHint = report == StartPending ? startWaitHint : 0;
}

int ReportStatus(StatusReport report, DWORD exitCode) {
  // A report that finds the stopped report under way gives up instead of
  // waiting its turn: under Wine the stopped report waits for the control
  // handler to return, so a handler that waited for it would wait forever.
  while (InterlockedCompareExchange(&statusBusy, 1, 0) != 0) {
    if (stoppedReported) return 0;
    Sleep(1);
  }
  int reported = 0;
  if (!stoppedReported) {
    FillStatusReport(report, exitCode, &serviceStatus);
    stoppedReported = report == Stopped;
    statusCalls.setServiceStatus(statusHandle, &serviceStatus);
    reported = 1;
  }
  InterlockedExchange(&statusBusy, 0);
  return reported;
}

void StopService(void) {
  // The flag is set before the event, so a loop woken by the event sees it.
  stopRequested = true;
  if (pipeEvent != NULL) SetEvent(pipeEvent);
  ReportStatus(StopPending, 0);
}

void WINAPI ServiceControlHandler(DWORD control) {
  // Pause and continue are not accepted, so the manager refuses them before
  // they get here; they, interrogate and every other code are ignored.
  if (control == SERVICE_CONTROL_STOP || control == userStopControl) {
    WriteLog("Service Stopped by SCM Request", 0);
    StopService();
  }
}

// Creates the event and the pipe, reports running and serves clients until
// the loop ends. Returns the code the stopped report carries: 0 after a
// stop, or the error that kept the service from serving, so that the
// manager shows a failed start rather than a clean stop.
static DWORD ServeClients(void) {
  pipeEvent = CreateEventW(NULL, TRUE, TRUE, NULL);
  if (pipeEvent == NULL) {
    DWORD error = GetLastError();
    WriteLog("CreateEvent failed with %d.", error);
    return error;
  }
  pipeOverlapped.hEvent = pipeEvent;
  servicePipe = CreateServicePipe();
  if (servicePipe == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    WriteLog("CreateNamedPipe failed with %d.", error);
    return error;
  }
  ReportStatus(Running, 0);
  WriteLog("Service Started", 0);
  ListenForClient();
  return RunRequestLoop();
}

void WINAPI ServiceMain(DWORD, LPWSTR *) {
  static wchar_t serviceName[] = L"qvService";
  statusHandle = RegisterServiceCtrlHandlerW(serviceName, ServiceControlHandler);
  if (statusHandle == NULL) return;
  ReportStatus(StartPending, 0);
  DWORD exitCode = ServeClients();
  ReportStatus(Stopped, exitCode);
}

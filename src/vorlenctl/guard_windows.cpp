// The guard on Windows: its events in the Application log, commands through
// cmd in a job that the time limit ends whole, and a stop from the console
// or from the Service Control Manager.
#include <windows.h>

#include <cstdio>

#include "vorlenctl/host.h"
#include "vorlenctl/host_windows.h"

namespace ctl::host {

namespace {

// A console's stop request reaches the guard through this: the handler
// Windows calls takes no context.
HANDLE console_stop = nullptr;

BOOL WINAPI ConsoleStop(DWORD) {
  SetEvent(console_stop);
  return TRUE;
}

WORD EventTypeOf(EventType type) {
  switch (type) {
    case EventType::kInformation: return EVENTLOG_INFORMATION_TYPE;
    case EventType::kWarning: return EVENTLOG_WARNING_TYPE;
    case EventType::kError: return EVENTLOG_ERROR_TYPE;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

// The guard's own environment without its VORLEN_ figures, then `added`, as
// CreateProcessW takes it.
std::wstring EnvironmentBlock(const std::vector<std::string>& added) {
  std::wstring block;
  wchar_t* const inherited = GetEnvironmentStringsW();
  for (const wchar_t* entry = inherited; entry != nullptr && *entry != L'\0'; entry += wcslen(entry) + 1) {
    if (_wcsnicmp(entry, L"VORLEN_", 7) != 0) block.append(entry).push_back(L'\0');
  }
  if (inherited != nullptr) FreeEnvironmentStringsW(inherited);
  for (const std::string& entry : added) block.append(Wide(entry)).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

class WindowsSystem final : public GuardSystem {
 public:
  WindowsSystem(HANDLE stop, bool service) : stop_(stop), service_(service) {}
  ~WindowsSystem() override {
    if (event_ != nullptr) CloseHandle(event_);
    if (source_ != nullptr) DeregisterEventSource(source_);
  }
  bool Open(std::string& error) {
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event_ == nullptr) error = "no event can be made (" + std::to_string(GetLastError()) + ")";
    // Without its source registered the log still takes the text.
    source_ = RegisterEventSourceW(nullptr, L"vorlen-guard");
    return event_ != nullptr;
  }

  void* NotificationEvent() override { return event_; }

  Woken Wait(unsigned milliseconds) override {
    const HANDLE handles[] = {stop_, event_};
    const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, milliseconds);
    if (woken == WAIT_OBJECT_0) return Woken::kStop;
    if (woken == WAIT_OBJECT_0 + 1) return Woken::kNotified;
    if (woken == WAIT_FAILED) Sleep(milliseconds < 1000 ? milliseconds : 1000);
    return Woken::kTimeout;
  }

  std::int64_t Now() override { return host::NowSeconds(); }

  void Report(const GuardEvent& event, const std::string& text) override {
    const std::wstring wide = Wide(text);
    const wchar_t* strings[] = {wide.c_str()};
    if (source_ != nullptr) ReportEventW(source_, EventTypeOf(event.type), 0, event.id, nullptr, 1, 0, strings, nullptr);
    if (service_) return;
    std::fprintf(stderr, "vorlenctl guard: event %u %.*s: %s\n", event.id, static_cast<int>(event.name.size()),
                 event.name.data(), text.c_str());
    std::fflush(stderr);
  }

  CommandResult Run(const std::string& command, const std::vector<std::string>& environment, unsigned timeout_ms) override;

 private:
  HANDLE stop_;
  bool service_;
  HANDLE event_ = nullptr;
  HANDLE source_ = nullptr;
};

CommandResult WindowsSystem::Run(const std::string& command, const std::vector<std::string>& environment,
                                 unsigned timeout_ms) {
  // /s: cmd takes what lies between the first and the last quote as it is.
  std::wstring line = L"\"" + Environment(L"ComSpec").value_or(L"cmd.exe") + L"\" /s /c \"" + Wide(command) + L"\"";
  std::wstring block = EnvironmentBlock(environment);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION child{};
  const DWORD flags = CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED | (service_ ? CREATE_NO_WINDOW : 0);
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, block.data(), nullptr, &start, &child) == 0) {
    return {CommandResult::End::kNotStarted, 0, "cmd can't be started (" + std::to_string(GetLastError()) + ")"};
  }
  // In a job, so that the limit also ends what the command started.
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  const bool in_job = job != nullptr && AssignProcessToJobObject(job, child.hProcess) != 0;
  ResumeThread(child.hThread);
  const HANDLE handles[] = {child.hProcess, stop_};
  const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, timeout_ms);
  CommandResult result;
  if (woken == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    result.status = static_cast<int>(code);
  } else {
    result.end = woken == WAIT_OBJECT_0 + 1 ? CommandResult::End::kStopped : CommandResult::End::kTimedOut;
    if (in_job) TerminateJobObject(job, 1);
    else TerminateProcess(child.hProcess, 1);
    WaitForSingleObject(child.hProcess, 5000);
  }
  if (job != nullptr) CloseHandle(job);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return result;
}

// The run the service's entry takes up: StartServiceCtrlDispatcherW's entry
// takes no context.
struct ServiceRun {
  FilterLibrary* library;
  const GuardOptions* options;
  HANDLE stop;
  SERVICE_STATUS_HANDLE handle = nullptr;
};
ServiceRun* service_run = nullptr;

void SetState(ServiceRun& run, DWORD state, DWORD exit_code = NO_ERROR) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exit_code;
  status.dwWaitHint = state == SERVICE_STOP_PENDING ? 2000 : 0;
  SetServiceStatus(run.handle, &status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void* context) {
  auto& run = *static_cast<ServiceRun*>(context);
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    SetState(run, SERVICE_STOP_PENDING);
    SetEvent(run.stop);
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  ServiceRun& run = *service_run;
  run.handle = RegisterServiceCtrlHandlerExW(L"vorlen-guard", ServiceControl, &run);
  if (run.handle == nullptr) return;
  SetState(run, SERVICE_RUNNING);
  WindowsSystem system(run.stop, true);
  std::string error;
  if (!system.Open(error)) return SetState(run, SERVICE_STOPPED, ERROR_NOT_ENOUGH_MEMORY);
  RunGuard(*run.library, system, *run.options);
  SetState(run, SERVICE_STOPPED);
}

}  // namespace

bool RunGuardHere(FilterLibrary& library, const GuardOptions& options, std::string& error) {
  const HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (stop == nullptr) {
    error = "no event can be made (" + std::to_string(GetLastError()) + ")";
    return false;
  }
  ServiceRun run{&library, &options, stop};
  service_run = &run;
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(L"vorlen-guard"), ServiceMain}, {nullptr, nullptr}};
  if (StartServiceCtrlDispatcherW(table) != 0) return true;  // ran as the service, until it stopped
  if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
    error = "the Service Control Manager refused the guard (" + std::to_string(GetLastError()) + ")";
    return false;
  }
  console_stop = stop;
  SetConsoleCtrlHandler(ConsoleStop, TRUE);
  WindowsSystem system(stop, false);
  if (!system.Open(error)) return false;
  RunGuard(library, system, options);
  return true;
}

}  // namespace ctl::host

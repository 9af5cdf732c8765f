// The guard's Windows service set up and removed: started with the system,
// restarted after a failure, its events' source registered.
#include <windows.h>

#include "vorlenctl/host.h"
#include "vorlenctl/host_windows.h"

namespace ctl::host {

namespace {

constexpr const wchar_t* kService = L"vorlen-guard";
constexpr const wchar_t* kEventSource = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\vorlen-guard";

std::string Failed(const char* what) { return std::string(what) + " (" + std::to_string(GetLastError()) + ")"; }

// As CommandLineToArgvW splits it again.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
    slashes = 0;
    quoted.push_back(c);
  }
  return quoted.append(2 * slashes, L'\\').append(L"\"");
}

std::wstring GuardCommandLine(const std::vector<std::string>& guard_args) {
  wchar_t program[32768];
  const DWORD length = GetModuleFileNameW(nullptr, program, 32768);
  std::wstring line = Quoted(std::wstring(program, length)) + L" guard";
  for (const std::string& argument : guard_args) line.append(L" ").append(Quoted(Wide(argument)));
  return line;
}

void RestartAfterFailure(SC_HANDLE service) {
  SC_ACTION actions[3] = {{SC_ACTION_RESTART, 10000}, {SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 60000}};
  SERVICE_FAILURE_ACTIONSW failure{};
  failure.dwResetPeriod = 86400;
  failure.cActions = 3;
  failure.lpsaActions = actions;
  ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
  wchar_t text[] = L"Watches the write filter's overlay and acts before it fills (vorlenctl guard).";
  SERVICE_DESCRIPTIONW description{text};
  ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
}

bool RegisterEventSource() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSource, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != 0) {
    return false;
  }
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  const bool set = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                                  sizeof types) == 0;
  RegCloseKey(key);
  return set;
}

SC_HANDLE CreateOrUpdate(SC_HANDLE manager, const std::wstring& line) {
  SC_HANDLE service = CreateServiceW(manager, kService, L"vorlen overlay guard", SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, line.c_str(),
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
  if (service != nullptr || GetLastError() != ERROR_SERVICE_EXISTS) return service;
  service = OpenServiceW(manager, kService, SERVICE_ALL_ACCESS);
  if (service != nullptr && ChangeServiceConfigW(service, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                                 SERVICE_ERROR_NORMAL, line.c_str(), nullptr, nullptr, nullptr,
                                                 nullptr, nullptr, nullptr) == 0) {
    CloseServiceHandle(service);
    return nullptr;
  }
  return service;
}

}  // namespace

std::string InstallGuardService(const std::vector<std::string>& guard_args) {
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT);
  if (manager == nullptr) return Failed("the Service Control Manager can't be opened: run as an administrator");
  const SC_HANDLE service = CreateOrUpdate(manager, GuardCommandLine(guard_args));
  std::string problem = service == nullptr ? Failed("the service can't be made") : "";
  if (service != nullptr) {
    RestartAfterFailure(service);
    if (!RegisterEventSource()) problem = Failed("the events' source can't be registered");
    if (problem.empty() && StartServiceW(service, 0, nullptr) == 0 && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
      problem = Failed("the service was set up but can't be started");
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return problem;
}

std::string UninstallGuardService() {
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return Failed("the Service Control Manager can't be opened: run as an administrator");
  const SC_HANDLE service = OpenServiceW(manager, kService, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS);
  std::string problem = service == nullptr ? Failed("the service can't be opened") : "";
  if (service != nullptr) {
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int tries = 0; tries < 50 && QueryServiceStatus(service, &status) != 0 &&
                        status.dwCurrentState != SERVICE_STOPPED;
         ++tries) {
      Sleep(100);
    }
    if (DeleteService(service) == 0) problem = Failed("the service can't be removed");
    CloseServiceHandle(service);
  }
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSource);
  CloseServiceHandle(manager);
  return problem;
}

}  // namespace ctl::host

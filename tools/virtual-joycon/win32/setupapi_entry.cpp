// The setupapi.dll stand-in of the Windows virtual controller: the four SetupAPI calls with
// which a program lists HID interfaces. The first listing starts the pipe server for this
// process (virtual-joycon-server.exe, beside this DLL); at process exit the DLL waits until the
// server has logged everything the process did, so that the log is complete once it has ended.
#define _SETUPAPI_  // we define these functions rather than import them
#include <windows.h>
#include <setupapi.h>

#include "listed_devices.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr char ServerFileName[] = "virtual-joycon-server.exe";
constexpr DWORD ServerStartWaitMs = 20000;
constexpr int ServerStarts = 2;
constexpr DWORD DrainWaitMs = 5000;
constexpr unsigned long ListMagic = 0x4A56534C;  // 'LSVJ'

struct InterfaceList {
    unsigned long Magic;
    int Count;
};

HMODULE ThisModule = nullptr;
HANDLE ServerProcess = nullptr;
CRITICAL_SECTION ServerLock;

bool IsHidClass(const GUID* guid)
{
    return guid != nullptr && std::memcmp(guid, &vj::HidInterfaceClass, sizeof(GUID)) == 0;
}

InterfaceList* AsList(HDEVINFO set)
{
    InterfaceList* list = static_cast<InterfaceList*>(set);
    if (set == nullptr || set == INVALID_HANDLE_VALUE || list->Magic != ListMagic) return nullptr;
    return list;
}

// Why a start of the server failed, to be said on the program's standard error: otherwise the
// program only finds no controller, and a test cannot tell that from a fault of the program.
struct StartFailure {
    const char* What;
    DWORD Code;
};

// Starts the server and waits until its pipes exist. Returns its process, or nullptr with why.
HANDLE StartServer(HANDLE ready, StartFailure* failure)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(ThisModule, path, MAX_PATH);
    char* slash = length > 0 && length < MAX_PATH ? std::strrchr(path, '\\') : nullptr;
    if (slash == nullptr || static_cast<std::size_t>(slash + 1 - path) + sizeof ServerFileName > MAX_PATH) {
        *failure = {"no path for the server", GetLastError()};
        return nullptr;
    }
    std::memcpy(slash + 1, ServerFileName, sizeof ServerFileName);
    char commandLine[MAX_PATH + 32];
    wsprintfA(commandLine, "\"%s\" %lu", path, GetCurrentProcessId());
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        *failure = {"the server did not start, error", GetLastError()};
        return nullptr;
    }
    CloseHandle(process.hThread);
    HANDLE waits[2] = {ready, process.hProcess};
    const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, ServerStartWaitMs);
    if (waited == WAIT_OBJECT_0) return process.hProcess;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    *failure = waited == WAIT_OBJECT_0 + 1 ? StartFailure{"the server ended as it started, exit code", code}
                                           : StartFailure{"the server was not ready in time, wait result", waited};
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    return nullptr;
}

// Starts the server once per process. A start that fails is tried once more: under Wine on a
// busy machine one now and then ends at once (seen about once in 500 runs).
bool EnsureServerRunning()
{
    EnterCriticalSection(&ServerLock);
    if (ServerProcess == nullptr) {
        HANDLE ready = vj::OpenServerEvent(GetCurrentProcessId(), "ready");
        StartFailure failures[ServerStarts] = {};
        for (int attempt = 0; ready != nullptr && ServerProcess == nullptr && attempt < ServerStarts; ++attempt)
            ServerProcess = StartServer(ready, &failures[attempt]);
        if (ServerProcess == nullptr) {
            for (const StartFailure& failure : failures) {
                if (failure.What == nullptr) continue;
                char text[160];
                const int length = wsprintfA(text, "virtual-joycon: %s %lu\r\n", failure.What, failure.Code);
                DWORD written = 0;
                WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
            }
        }
        if (ready != nullptr) CloseHandle(ready);
    }
    const bool running = ServerProcess != nullptr;
    LeaveCriticalSection(&ServerLock);
    return running;
}

// At process exit: let the server log what is left and wait for it (bounded).
void DrainServer()
{
    if (ServerProcess == nullptr) return;
    HANDLE drain = vj::OpenServerEvent(GetCurrentProcessId(), "drain");
    HANDLE drained = vj::OpenServerEvent(GetCurrentProcessId(), "drained");
    if (drain != nullptr && drained != nullptr) {
        SetEvent(drain);
        HANDLE waits[2] = {drained, ServerProcess};
        WaitForMultipleObjects(2, waits, FALSE, DrainWaitMs);
    }
    if (drain != nullptr) CloseHandle(drain);
    if (drained != nullptr) CloseHandle(drained);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        ThisModule = instance;
        InitializeCriticalSection(&ServerLock);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        DrainServer();
    }
    return TRUE;
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR, HWND, DWORD flags)
{
    // Only the present HID interfaces are listed; any other question gets an empty list.
    const bool asksForHid = IsHidClass(classGuid) && (flags & DIGCF_DEVICEINTERFACE) != 0;
    InterfaceList* list = new InterfaceList{ListMagic, 0};
    if (asksForHid && EnsureServerRunning()) list->Count = vj::PresentDeviceCount();
    return list;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID* classGuid,
                                        DWORD index, PSP_DEVICE_INTERFACE_DATA item)
{
    InterfaceList* list = AsList(set);
    if (list == nullptr || item == nullptr || item->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsHidClass(classGuid) || index >= static_cast<DWORD>(list->Count)) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    item->InterfaceClassGuid = vj::HidInterfaceClass;
    item->Flags = SPINT_ACTIVE;
    item->Reserved = index;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA item,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                             PDWORD requiredSize, PSP_DEVINFO_DATA)
{
    InterfaceList* list = AsList(set);
    if (list == nullptr || item == nullptr || item->Reserved >= static_cast<ULONG_PTR>(list->Count)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char path[vj::MaxPipePathLength];
    vj::FormatPipePath(path, GetCurrentProcessId(), static_cast<int>(item->Reserved));
    const DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + std::strlen(path) + 1);
    if (requiredSize != nullptr) *requiredSize = needed;
    if (detail == nullptr || detailSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, path, std::strlen(path) + 1);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    InterfaceList* list = AsList(set);
    if (list == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    list->Magic = 0;
    delete list;
    return TRUE;
}

}  // extern "C"

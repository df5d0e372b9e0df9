// Kernel objects and processes: named mutexes, tool-help snapshots and the
// path of a process's executable.
#include "check.h"

#include <tlhelp32.h>

namespace {

#if defined(_WIN32)
BOOL CloseSnapshot(HANDLE snapshot) { return CloseHandle(snapshot); }
#else
BOOL CloseSnapshot(HANDLE snapshot) { return CloseToolhelp32Snapshot(snapshot); }
#endif

conf::WString BaseName(const conf::WString& path) {
    size_t slash = path.find_last_of(TEXT("\\/"));
    return slash == conf::WString::npos ? path : path.substr(slash + 1);
}

conf::WString OwnPath() {
    WCHAR path[MAX_PATH] = {0};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

}  // namespace

CHECK(Kernel, CreatingAnExistingNamedMutexReportsThatItExists) {
    SetLastError(77);
    HANDLE first = CreateMutexW(nullptr, TRUE, TEXT("VeskConformanceMutex"));
    REQUIRE(first != nullptr);
    // A new mutex clears the thread's last error.
    CHECK_EQ(GetLastError(), 0u);

    HANDLE second = CreateMutexW(nullptr, TRUE, TEXT("VeskConformanceMutex"));
    CHECK_TRUE(second != nullptr);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    HANDLE unnamed = CreateMutexW(nullptr, FALSE, nullptr);
    CHECK_TRUE(unnamed != nullptr);
    CHECK_EQ(GetLastError(), 0u);

    CloseHandle(unnamed);
    if (second) CloseHandle(second);
    CloseHandle(first);

    // Once every handle on it is closed, the name is free again.
    HANDLE again = CreateMutexW(nullptr, TRUE, TEXT("VeskConformanceMutex"));
    CHECK_TRUE(again != nullptr);
    CHECK_EQ(GetLastError(), 0u);
    if (again) CloseHandle(again);
}

CHECK(Kernel, SnapshotNamesEachProcessByItsFileName) {
    known_difference(
        "Windows CE closes a tool-help snapshot with CloseToolhelp32Snapshot, which desktop Windows does not "
        "have: there it is CloseHandle.");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    REQUIRE(snapshot != INVALID_HANDLE_VALUE);
    PROCESSENTRY32 entry;
    memset(&entry, 0, sizeof(entry));
    entry.dwSize = sizeof(entry);
    int found = 0;
    conf::WString name;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) {
            ++found;
            name = entry.szExeFile;
        }
    }
    CHECK_EQ(found, 1);
    CHECK_EQ(name, BaseName(OwnPath()));
    CHECK_TRUE(CloseSnapshot(snapshot));
    CHECK_FALSE(CloseSnapshot(snapshot));

    // A record smaller than the platform's is refused.
    snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    REQUIRE(snapshot != INVALID_HANDLE_VALUE);
    entry.dwSize = sizeof(entry) - 8;
    CHECK_FALSE(Process32First(snapshot, &entry));
    CloseSnapshot(snapshot);
}

CHECK(Kernel, ExecutablePathOfAProcessHandle) {
    known_difference(
        "Given a process handle, GetModuleFileNameW on Windows CE answers the path of the executable that the "
        "process runs; desktop Windows takes only module handles and fails. ce_on_desktop.h maps it for vesk.");
    HANDLE process = OpenProcess(0, FALSE, GetCurrentProcessId());
    REQUIRE(process != nullptr);
    WCHAR path[MAX_PATH] = {0};
    DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(process), path, MAX_PATH);
    const conf::WString own = OwnPath();
    CHECK_EQ(n, ce_or_desktop(static_cast<DWORD>(own.size()), static_cast<DWORD>(0)));
    if (n) CHECK_EQ(conf::WString(path), own);
    CloseHandle(process);
    // No process has this id.
    CHECK_EQ(OpenProcess(0, FALSE, 0x7FFFFFF0), static_cast<HANDLE>(nullptr));
}

/* Wine 8's tasklist.exe is a stub that prints nothing, so under Wine every program
 * would look stopped. The checks put this one in its place in their throw-away Wine
 * prefix. It answers the question the plug-in asks, in Windows' words:
 *
 *   tasklist /NH /FO CSV /FI "IMAGENAME eq NAME"
 *
 * one line "NAME","PID","Console","1","0 K" per running process of that image name
 * (compared without regard to case), or Windows' INFO line when there is none. Without
 * a filter it lists every process. Other options are accepted and ignored. */
/* The tool help header needs windows.h before it. */
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <stdio.h>
#include <string.h>
#include <wchar.h>

int wmain(int argc, wchar_t** argv) {
    const wchar_t* image = NULL;
    for (int i = 1; i + 1 < argc; ++i) {
        if (_wcsicmp(argv[i], L"/FI") == 0 && _wcsnicmp(argv[i + 1], L"IMAGENAME eq ", 13) == 0)
            image = argv[i + 1] + 13;
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 1;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    int found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (image && _wcsicmp(entry.szExeFile, image) != 0)
            continue;
        char name[MAX_PATH * 3];
        WideCharToMultiByte(CP_ACP, 0, entry.szExeFile, -1, name, sizeof name, NULL, NULL);
        printf("\"%s\",\"%lu\",\"Console\",\"1\",\"0 K\"\r\n", name, (unsigned long)entry.th32ProcessID);
        ++found;
    }
    CloseHandle(snapshot);
    if (!found)
        printf("INFO: No tasks are running which match the specified criteria.\r\n");
    return 0;
}

// A stand-in for TAMBRIX.EXE in the Windows tests: writes how it was started into record.txt in
// its current folder, one item a line: its own path, its command line (GetCommandLineA) and its
// current folder. Written beside and moved into place, so that a reader sees it whole.
#include <cstdio>
#include <windows.h>

int main()
{
    char self[MAX_PATH] = {};
    char folder[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    ::GetCurrentDirectoryA(MAX_PATH, folder);
    FILE* record = std::fopen("record.tmp", "wb");
    if (!record)
        return 1;
    std::fprintf(record, "%s\r\n%s\r\n%s\r\n", self, ::GetCommandLineA(), folder);
    if (std::fclose(record) != 0)
        return 1;
    return ::MoveFileExA("record.tmp", "record.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}

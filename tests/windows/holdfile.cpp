// Holds a file open the way another program may (a virus scanner, a viewer): for reading, with
// read sharing only, so that no one can write, delete or rename it until this program ends. The
// end-to-end run holds the installed rudimix.exe with it while no Rudimix runs.
//   hold_file PATH   (prints "holding PATH" once it holds the file, and ends when it is killed;
//                     exit code 1 when the file cannot be opened)
#include <cstdio>
#include <windows.h>

int main(int argc, char* argv[])
{
    if (argc != 2)
        return 2;
    const HANDLE file = ::CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    std::printf("holding %s\n", argv[1]);
    std::fflush(stdout);
    ::Sleep(INFINITE);
    return 0;
}

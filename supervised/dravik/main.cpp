// Stand-in desktop application. It shows nothing: it appends how it was started
// to "dravik.log" next to its own executable, so that the folder it was started
// from is known too, and exits. Each start adds three CR LF lines:
//   CommandLine=<GetCommandLineA, byte for byte>
//   CurrentDirectory=<GetCurrentDirectoryA>
//   Module=<GetModuleFileNameA>
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char module[MAX_PATH * 4] = {};
    const DWORD moduleLength = GetModuleFileNameA(nullptr, module, sizeof module);
    if (moduleLength == 0 || moduleLength >= sizeof module)
        return 1;
    char directory[MAX_PATH * 4] = {};
    const DWORD directoryLength = GetCurrentDirectoryA(sizeof directory, directory);
    if (directoryLength == 0 || directoryLength >= sizeof directory)
        return 1;

    std::string log(module);
    log.erase(log.rfind('\\') + 1);
    log += "dravik.log";

    const std::string record = std::string("CommandLine=") + GetCommandLineA() + "\r\n" +
                               "CurrentDirectory=" + directory + "\r\n" +
                               "Module=" + module + "\r\n";
    // Module= comes last: a reader that sees it has the whole record.
    FILE* file = std::fopen(log.c_str(), "ab");
    if (file == nullptr)
        return 1;
    const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
    return std::fclose(file) == 0 && written ? 0 : 1;
}

// pellmar_box: waits for the message box captioned "Error", reports what it
// shows, and presses OK. Usage: pellmar_box [timeout ms, default 20000].
// Prints, one per line (UTF-8):
//   class=<window class>  caption=<title>  text=<message>
//   icon=yes|no  ok=yes|no  cancel=yes|no  closed=yes|no
// Exit code 0 when a box was found and closed, 2 when none appeared in time,
// 3 when it did not close after OK.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return "";
    std::string bytes(size - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], size, nullptr, nullptr);
    return bytes;
}

void Print(const char* key, const std::string& value)
{
    std::printf("%s=%s\n", key, value.c_str());
    std::fflush(stdout);
}

BOOL CALLBACK FindIcon(HWND child, LPARAM found)
{
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (lstrcmpiW(name, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
        SendMessageW(child, STM_GETICON, 0, 0) != 0) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    const DWORD timeout = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    const DWORD step = 50;

    HWND box = nullptr;
    for (DWORD waited = 0; box == nullptr && waited <= timeout; waited += step) {
        box = FindWindowW(nullptr, L"Error");
        if (box == nullptr)
            Sleep(step);
    }
    if (box == nullptr) {
        Print("found", "no");
        return 2;
    }

    wchar_t text[1024] = {};
    GetClassNameW(box, text, 1024);
    Print("class", Utf8(text));
    text[0] = L'\0';
    GetWindowTextW(box, text, 1024);
    Print("caption", Utf8(text));
    text[0] = L'\0';
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    Print("text", Utf8(text));
    bool icon = false;
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&icon));
    Print("icon", icon ? "yes" : "no");
    Print("ok", GetDlgItem(box, IDOK) ? "yes" : "no");
    Print("cancel", GetDlgItem(box, IDCANCEL) ? "yes" : "no");

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (DWORD waited = 0; IsWindow(box) && waited <= timeout; waited += step)
        Sleep(step);
    const bool closed = !IsWindow(box);
    Print("closed", closed ? "yes" : "no");
    return closed ? 0 : 3;
}

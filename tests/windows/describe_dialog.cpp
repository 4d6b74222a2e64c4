// Waits for a dialog window of another process (such as a message box) and prints what it
// shows, one item a line: its caption, the text of each visible static control, and each
// visible button with the screen position of its centre. Exits 1 when no dialog appears.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr char DialogClass[] = "#32770";
constexpr int WaitStepMs = 100;
constexpr int MaxWaitMs = 60000;
constexpr int MaxTextChars = 512;

BOOL CALLBACK PrintChild(HWND child, LPARAM)
{
    if (!IsWindowVisible(child)) return TRUE;
    char className[64] = {};
    char text[MaxTextChars] = {};
    GetClassNameA(child, className, sizeof className);
    GetWindowTextA(child, text, sizeof text);
    if (_stricmp(className, "Static") == 0 && text[0] != '\0') {
        std::printf("text=%s\n", text);
    } else if (_stricmp(className, "Button") == 0) {
        RECT box;
        GetWindowRect(child, &box);
        std::printf("button=%s at %ld,%ld\n", text, (box.left + box.right) / 2,
                    (box.top + box.bottom) / 2);
    }
    return TRUE;
}

}  // namespace

int main()
{
    for (int waited = 0; waited < MaxWaitMs; waited += WaitStepMs) {
        HWND dialog = FindWindowA(DialogClass, nullptr);
        if (dialog != nullptr && IsWindowVisible(dialog)) {
            char caption[MaxTextChars] = {};
            GetWindowTextA(dialog, caption, sizeof caption);
            std::printf("caption=%s\n", caption);
            EnumChildWindows(dialog, PrintChild, 0);
            return 0;
        }
        Sleep(WaitStepMs);
    }
    std::printf("no dialog\n");
    return 1;
}

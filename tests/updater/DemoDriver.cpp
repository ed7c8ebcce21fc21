// Drives the updater for the demonstration (scripts/run) as a user would: starts it, waits for
// its dialog, presses OK, reads the message box that reports the outcome and closes it. At
// the dialog and at the box it stops until the script has taken its screenshot:
//
// usage: gs_demo_driver UPDATER HANDSHAKE_FOLDER
//   writes FOLDER\dialog.ready (then FOLDER\outcome.ready) holding the window's screen
//   rectangle as "WIDTHxHEIGHT+X+Y", and goes on when FOLDER\dialog.go (outcome.go) appears.
// Prints the box's caption and text (code page 932) and the updater's exit code. Exit code 0
// when every step was seen, 1 otherwise.

#include "GsTestProcess.h"
#include "GsTestWindow.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace
{

constexpr char DIALOG_TITLE[] = "ラークスパーグリームアップデート";
constexpr DWORD SCREENSHOT_WAIT_MS = 60000;

std::string FolderOf(const std::string& path)
{
    std::string::size_type last = std::string::npos;
    for (const char* p = path.c_str(); *p != '\0'; p = CharNextA(p))
    {
        if (*p == '\\')
        {
            last = static_cast<std::string::size_type>(p - path.c_str());
        }
    }
    return last == std::string::npos ? std::string(".") : path.substr(0, last);
}

// Announces `window` under `name`.ready and waits for `name`.go.
bool Handshake(const std::string& folder, const char* name, HWND window)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
    {
        return false;
    }
    const std::string ready = folder + "\\" + name + ".ready";
    const std::string partial = ready + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "w");
    if (file == nullptr)
    {
        return false;
    }
    std::fprintf(file, "%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top,
                 rect.left, rect.top);
    std::fclose(file);
    // Whole or not at all: the script may read it as soon as the name appears.
    if (!MoveFileA(partial.c_str(), ready.c_str()))
    {
        return false;
    }
    const std::string go = folder + "\\" + name + ".go";
    const DWORD start = GetTickCount();
    while (GetFileAttributesA(go.c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        if (GetTickCount() - start >= SCREENSHOT_WAIT_MS)
        {
            return false;
        }
        Sleep(50);
    }
    return true;
}

int Fail(const char* what)
{
    std::printf("demo driver: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        return Fail("usage: gs_demo_driver UPDATER HANDSHAKE_FOLDER");
    }
    const std::string program = argv[1];
    const std::string folder = argv[2];

    gstest::TestProcess updater;
    if (!updater.Start(program, "", FolderOf(program)))
    {
        return Fail("the updater did not start");
    }
    HWND dialog = updater.WaitForWindow(3 * gstest::STEP_TIMEOUT_MS, "#32770", DIALOG_TITLE);
    if (dialog == nullptr)
    {
        // Say what came instead: a start-up refusal, or nothing at all.
        gstest::MessageBoxState state;
        HWND box = updater.WaitForMessageBox(0);
        if (box != nullptr && gstest::ReadMessageBox(box, &state, gstest::STEP_TIMEOUT_MS))
        {
            std::printf("message box: caption \"%s\", text \"%s\"\n", state.caption.c_str(),
                        state.text.c_str());
        }
        DWORD exitCode = 0;
        if (updater.WaitForExit(0, &exitCode))
        {
            std::printf("updater exit code: %lu\n", exitCode);
        }
        return Fail("no update dialog");
    }
    std::printf("dialog: \"%s\", target \"%s\"\n", DIALOG_TITLE,
                gstest::GetText(gstest::GetControl(dialog, 1001)).c_str());
    std::fflush(stdout);
    // Let the dialog paint before its picture is taken.
    Sleep(500);
    if (!Handshake(folder, "dialog", dialog))
    {
        return Fail("no screenshot of the dialog");
    }

    if (!gstest::PressButton(dialog, IDOK))
    {
        return Fail("cannot press OK");
    }
    HWND box = updater.WaitForMessageBox(3 * gstest::STEP_TIMEOUT_MS);
    gstest::MessageBoxState state;
    if (box == nullptr || !gstest::ReadMessageBox(box, &state, gstest::STEP_TIMEOUT_MS))
    {
        return Fail("no message box after OK");
    }
    std::printf("message box: caption \"%s\", text \"%s\"\n", state.caption.c_str(),
                state.text.c_str());
    std::fflush(stdout);
    Sleep(300);
    if (!Handshake(folder, "outcome", box))
    {
        return Fail("no screenshot of the outcome");
    }

    if (!gstest::PressButton(box, IDOK))
    {
        return Fail("cannot close the message box");
    }
    DWORD exitCode = 0xFFFFFFFF;
    // A refused file leaves the dialog open, as it does for a user: cancel it then.
    bool ended = updater.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode) != 0;
    if (!ended && IsWindow(dialog))
    {
        std::printf("the dialog stayed open: pressing Cancel\n");
        if (!gstest::PressButton(dialog, IDCANCEL))
        {
            return Fail("cannot press Cancel");
        }
    }
    if (!ended && !updater.WaitForExit(3 * gstest::STEP_TIMEOUT_MS, &exitCode))
    {
        return Fail("the updater did not end");
    }
    std::printf("updater exit code: %lu\n", exitCode);
    return 0;
}

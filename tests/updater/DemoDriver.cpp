// usage: gs_demo_driver UPDATER HANDSHAKE_FOLDER. Presses OK in the updater's dialog as a user
// would (scripts/run), then closes the message box. At the dialog, then at the box, writes
// FOLDER\dialog.ready (outcome.ready) holding "WIDTHxHEIGHT+X+Y" and waits for dialog.go
// (outcome.go). Prints the box's texts and the updater's exit code. Exit 0: every step seen.

#include "GsTestProcess.h"

#include <cstdio>
#include <string>

namespace
{

constexpr char DIALOG_TITLE[] = "ラークスパーグリームアップデート";
constexpr DWORD LONG_STEP_MS = 3 * gstest::STEP_TIMEOUT_MS;
constexpr char UPDATER_NAME[] = "TARNS_HARBOR1999KITE07_UPDATE_GUIDAPPNAME";

// Announces `window` under `name`.ready and waits for `name`.go.
bool Handshake(const std::string& folder, const char* name, HWND window)
{
    RECT rect;
    const std::string ready = folder + "\\" + name + ".ready", go = folder + "\\" + name + ".go";
    std::FILE* file =
        GetWindowRect(window, &rect) ? std::fopen((ready + ".part").c_str(), "w") : nullptr;
    if (file == nullptr)
        return false;
    std::fprintf(file, "%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top,
                 rect.left, rect.top);
    std::fclose(file);
    // Whole or not at all: the script may read it as soon as the name appears.
    if (!MoveFileA((ready + ".part").c_str(), ready.c_str()))
        return false;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(50))
    {
        if (GetFileAttributesA(go.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
    }
    return false;
}

int Fail(const char* what)
{
    std::printf("demo driver: %s\n", what);
    return 1;
}

void Print(HWND box, DWORD exitCode)
{
    if (box != nullptr)
    {
        std::printf("message box: caption \"%s\", text \"%s\"\n", gstest::GetText(box).c_str(),
                    gstest::BoxText(box).c_str());
    }
    if (exitCode != STILL_ACTIVE)
        std::printf("updater exit code: %lu\n", exitCode);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return Fail("usage: gs_demo_driver UPDATER HANDSHAKE_FOLDER");
    gstest::TestProcess updater; // it finds its folder from its own name, whatever the start's
    if (!updater.Start(argv[1]))
        return Fail("the updater did not start");
    const HWND dialog = updater.WaitForWindow(LONG_STEP_MS, [](HWND window)
                                              { return gstest::GetText(window) == DIALOG_TITLE; });
    DWORD exitCode = STILL_ACTIVE;
    if (dialog == nullptr)
    {
        // Say what came instead: a start-up refusal, its own name taken, or nothing at all.
        const HWND box = updater.WaitForMessageBox(0);
        updater.WaitForExit(0, &exitCode);
        Print(box, exitCode);
        if (exitCode != STILL_ACTIVE)
        {
            std::printf("the updater's name is %s\n",
                        gstest::NameIsTaken(UPDATER_NAME) ? "held by another process" : "free");
        }
        return Fail("no update dialog");
    }
    std::printf("dialog: \"%s\", target \"%s\"\n", DIALOG_TITLE,
                gstest::GetText(GetDlgItem(dialog, 1001)).c_str());
    std::fflush(stdout);
    Sleep(500); // let the dialog paint before its picture is taken
    if (!Handshake(argv[2], "dialog", dialog))
        return Fail("no screenshot of the dialog");
    if (!gstest::PressButton(dialog, IDOK))
        return Fail("cannot press OK");
    const HWND box = updater.WaitForMessageBox(LONG_STEP_MS);
    if (box == nullptr)
        return Fail("no message box after OK");
    Print(box, STILL_ACTIVE);
    Sleep(300);
    if (!Handshake(argv[2], "outcome", box))
        return Fail("no screenshot of the outcome");
    if (!gstest::PressButton(box, IDOK))
        return Fail("cannot close the message box");
    // A refused file leaves the dialog open, as it does for a user: cancel it then.
    if (!updater.WaitForExit(gstest::STEP_TIMEOUT_MS, &exitCode) && IsWindow(dialog))
    {
        std::printf("the dialog stayed open: pressing Cancel\n");
        if (!gstest::PressButton(dialog, IDCANCEL))
            return Fail("cannot press Cancel");
    }
    if (exitCode == STILL_ACTIVE && !updater.WaitForExit(LONG_STEP_MS, &exitCode))
        return Fail("the updater did not end");
    Print(nullptr, exitCode);
    return 0;
}

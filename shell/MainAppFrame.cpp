#include "MainAppFrame.h"

#include "GsDualBoot.h"
#include "GsMessageBox.h"
#include "MainDialog.h"
#include "SystemLibrary.h"

#include <memory>

namespace
{

// Shared with the application and with other copies of the updater: never change them.
constexpr char UPDATER_MUTEX_NAME[] = "TARNS_HARBOR1999KITE07_UPDATE_GUIDAPPNAME";
constexpr char APPLICATION_MUTEX_NAME[] = "TARNS_HARBOR1999KITE07_GUIDAPPNAME";

constexpr char APPLICATION_RUNNING_TEXT[] =
    "Larkspurgleamが起動しています。\n終了させてから再度アップデートを実行してください。";
constexpr char APPLICATION_RUNNING_CAPTION[] = "Error";

} // namespace

CMainAppFrame::~CMainAppFrame() = default;

int CMainAppFrame::Run(HINSTANCE instanceHandle, HINSTANCE previousInstance, LPSTR commandText,
                       int show)
{
    // Before anything can load a DLL by name: the updater may sit in a downloads folder.
    GsRestrictDllSearch();
    Prepare(instanceHandle, previousInstance, commandText, show);

    // The guards are released in reverse order of declaration: the application's first.
    CGsDualBoot updaterGuard;
    if (!updaterGuard.Create(UPDATER_MUTEX_NAME))
    {
        return 0;
    }
    // The application runs without elevation: it must find the name taken, not be refused it.
    CGsDualBoot applicationGuard;
    if (!applicationGuard.CreateShared(APPLICATION_MUTEX_NAME))
    {
        GsMessageBox(nullptr, APPLICATION_RUNNING_TEXT, APPLICATION_RUNNING_CAPTION,
                     MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (OnStart())
    {
        return OnExit();
    }
    OnExit();
    return -1;
}

int CMainAppFrame::OnStart()
{
    const std::unique_ptr<CMainDialog> dialog(new CMainDialog);
    return dialog->Execute();
}

#include "MainDialog.h"

#include "ApplyUpdate.h"
#include "GsAppFrame.h"
#include "GsFile.h"
#include "GsMessageBox.h"
#include "PinnedFolder.h"
#include "TargetCheck.h"
#include "UpdaterResources.h"

#include <commdlg.h>

#include <cstring>

namespace
{

constexpr char TARGET_FILE_NAME[] = "\\Larkspurgleam.exe";
// The edit is read into a buffer larger than any path, so that an over-long text is seen as
// such instead of being cut into another, valid path.
constexpr int EDIT_BUFFER_SIZE = 512;

constexpr char WRONG_FILE_TEXT[] = "アップデートするファイルが正しく指定されていません";
constexpr char ALREADY_DONE_TEXT[] = "ファイルは既にアップデートされています";
constexpr char IN_USE_TEXT[] =
    "アップデートするファイルが使用中です。プログラムを終了してからもう一度実行してください";
constexpr char DONE_TEXT[] = "アップデート終了しました";
constexpr char ERROR_CAPTION[] = "Error";
constexpr char INFO_CAPTION[] = "Info";

// One description and one pattern, double-NUL terminated (the literal adds the last NUL).
constexpr wchar_t EXE_FILTER_WIDE[] = L"exe file(*.exe)\0*.exe\0";
constexpr wchar_t EXE_EXTENSION_WIDE[] = L"exe";

bool FitsPathBuffer(const std::string& path)
{
    return path.size() < static_cast<std::size_t>(GS_PATH_SIZE);
}

// The ANSI text as wide characters into `wide` (MAX_PATH); empty when it does not convert.
void ToWide(const char* text, wchar_t* wide)
{
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide, MAX_PATH) == 0)
    {
        wide[0] = L'\0';
    }
}

// The Open-File dialog on `path` (or, when empty, in `folder`), in its wide form, so that the
// chosen file's name is had exactly: the ANSI dialog would hand back its best-fit form, which
// may name another file. 1 with the choice in `path` (GS_PATH_SIZE bytes); 0 when the user
// cancelled; -1 when the chosen path has no exact ANSI form.
int ChooseFile(HWND owner, char* path, const char* folder)
{
    wchar_t file[MAX_PATH] = {};
    wchar_t initialFolder[MAX_PATH] = {};
    ToWide(path, file);
    ToWide(folder, initialFolder);
    OPENFILENAMEW dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = EXE_FILTER_WIDE;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = initialFolder[0] != L'\0' ? initialFolder : nullptr;
    dialog.lpstrDefExt = EXE_EXTENSION_WIDE;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&dialog))
    {
        return 0;
    }
    return GsToExactAnsi(file, path, GS_PATH_SIZE) ? 1 : -1;
}

} // namespace

CMainDialog::~CMainDialog() = default;

int CMainDialog::Execute()
{
    Create(nullptr, IDD_UPDATE);
    return 1;
}

int CMainDialog::OnInitDialog(CGsWndMessage* message)
{
    CGsDialogSync::OnInitDialog(message);

    RECT rect;
    if (GetWindowRect(message->hwnd, &rect))
    {
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
        const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
        SetWindowPos(message->hwnd, HWND_NOTOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    }

    // No folder (one without an exact ANSI name among them): nothing is offered, rather than a
    // file at the root of the current drive.
    const char* folder = g_pAppFrame != nullptr ? g_pAppFrame->directory : "";
    const std::string defaultPath = std::string(folder) + TARGET_FILE_NAME;
    // Offered also when an interrupted update left it only under its backup name, so that
    // OK can finish the job.
    if (folder[0] != '\0' && FitsPathBuffer(defaultPath) && IsTargetOffered(defaultPath.c_str()))
    {
        m_strTargetPath = defaultPath;
        if (hwnd != nullptr)
        {
            SetDlgItemTextA(hwnd, IDC_TARGET_PATH, m_strTargetPath.c_str());
        }
        EnableWindow(GetDlgItem(message->hwnd, IDOK), TRUE);
    }
    else
    {
        EnableWindow(GetDlgItem(message->hwnd, IDOK), FALSE);
    }
    return 1;
}

int CMainDialog::OnCommand(CGsWndMessage* message)
{
    switch (LOWORD(message->wParam))
    {
    case IDOK:
        OnOk(message->hwnd);
        break;
    case IDCANCEL:
        EndDialog(message->hwnd, 0);
        break;
    case IDC_CHANGE:
        OnChange(message->hwnd);
        break;
    default:
        break;
    }
    message->result = 0;
    return 1;
}

void CMainDialog::OnOk(HWND window)
{
    char text[EDIT_BUFFER_SIZE] = {};
    if (hwnd != nullptr)
    {
        GetDlgItemTextA(hwnd, IDC_TARGET_PATH, text, EDIT_BUFFER_SIZE);
    }
    m_strTargetPath = text;

    // From here to the end of the step the updater acts only in the folder it checks: held
    // from before the check, that folder cannot be renamed or replaced by a junction meanwhile,
    // and junctions that a user without administrator rights made are not followed where
    // Windows can refuse them.
    EnableRedirectionTrust();
    CPinnedFolder checked;
    checked.Pin(m_strTargetPath.c_str());

    switch (CheckTarget(m_strTargetPath.c_str()))
    {
    case TARGET_IN_USE:
        GsMessageBox(window, IN_USE_TEXT, ERROR_CAPTION, MB_OK | MB_ICONERROR);
        break;
    case TARGET_ALREADY_DONE:
        // A run killed after the new file was in place may have left the older backup.
        TidyUpdateLeftovers(m_strTargetPath.c_str());
        GsMessageBox(window, ALREADY_DONE_TEXT, INFO_CAPTION, MB_OK | MB_ICONINFORMATION);
        EndDialog(window, 0);
        break;
    case TARGET_ELIGIBLE:
        // On failure ApplyUpdate has shown its own message and the dialog stays open.
        if (ApplyUpdate(m_strTargetPath.c_str(), window,
                        checked.IsPinned() ? checked.RealPath() : nullptr))
        {
            GsMessageBox(window, DONE_TEXT, INFO_CAPTION, MB_OK | MB_ICONINFORMATION);
            EndDialog(window, 0);
        }
        break;
    default:
        GsMessageBox(window, WRONG_FILE_TEXT, ERROR_CAPTION, MB_OK | MB_ICONERROR);
        break;
    }
}

void CMainDialog::OnChange(HWND window)
{
    char path[GS_PATH_SIZE] = {};
    const char* folder = "";
    // Open on the current target; without one (or with one too long to hand over), in the
    // updater's own folder.
    if (!m_strTargetPath.empty() && FitsPathBuffer(m_strTargetPath))
    {
        std::memcpy(path, m_strTargetPath.c_str(), m_strTargetPath.size() + 1);
    }
    else if (g_pAppFrame != nullptr)
    {
        folder = g_pAppFrame->directory;
    }
    const int chosen = ChooseFile(window, path, folder);
    if (chosen < 0)
    {
        GsMessageBox(window, WRONG_FILE_TEXT, ERROR_CAPTION, MB_OK | MB_ICONERROR);
    }
    else if (chosen > 0)
    {
        if (hwnd != nullptr)
        {
            SetDlgItemTextA(hwnd, IDC_TARGET_PATH, path);
        }
        EnableWindow(GetDlgItem(window, IDOK), TRUE);
    }
}

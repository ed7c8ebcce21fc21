#pragma once

#include "GsInterface.h"

#include <windows.h>

#include <string>

// Carries the initial selection of the folder dialog from BrowseFolderDialog to
// BrowseCallbackProc. Process-wide: folder dialogs must not be opened from several threads at
// once. Keeps the last initial selection until the next non-null one overwrites it.
extern char g_szBrowseSelection[MAX_PATH];

// Folder-dialog callback: on BFFM_INITIALIZED it sends the dialog BFFM_SETSELECTIONA with
// wParam 1 (lParam is a path) and g_szBrowseSelection. Always returns 0.
int CALLBACK BrowseCallbackProc(HWND window, UINT message, LPARAM lParam, LPARAM data);

// Writes the one-line description of the system that `info` describes into `text` (which must
// hold the format, two numbers and 127 bytes of service-pack text; 200 bytes suffice).
// Windows 95/98/Me, NT 5.0/5.2 ("Windows2000"), XP, other NT versions and anything else
// ("Unknown OS Version") each have their own form. Always returns 1.
int FormatOSVersionText(const OSVERSIONINFOA& info, char* text);

// System utilities: special folders, path text, drives, system information and the common
// file and folder dialogs. Stateless; any object serves and calls may come in any order.
//
// Results: 1 for success and 0 for failure unless stated. Texts are ANSI (code page 932 in this
// program) and scanned character by character, so a double-byte character whose trail byte is
// 0x5C is never taken for a backslash. Buffers belong to the caller, sizes are in bytes and no
// operation writes past a buffer whose size it is given. Path buffers whose size is not passed
// must hold MAX_PATH (260) bytes; outputs copied without a size must hold what is copied.
class IGsUtility : public IGsInterface
{
public:
    GS_IMPLEMENT_RELEASE

    // "ProgramFilesDir" of HKLM\Software\Microsoft\Windows\CurrentVersion (the key is opened
    // for reading, so any user finds it). 1 when found. Otherwise the Windows directory is put in
    // the buffer and the result is 0, telling the caller that the buffer holds that fallback.
    virtual int GetProgramFilesDir(char* buffer, int size) = 0;
    // "Desktop" of HKCU\...\Explorer\Shell Folders. 0 (first byte 0) when missing.
    virtual int GetDesktopDir(char* buffer, int size) = 0;
    // The Windows directory. 0 when the system fails or the buffer is too small for it.
    virtual int GetWindowsDir(char* buffer, int size) = 0;
    // The temporary directory, with its trailing backslash. 0 as GetWindowsDir.
    virtual int GetTempDir(char* buffer, int size) = 0;
    // The Start menu's Programs folder from the shell, else the "Programs" value of the same
    // key as GetDesktopDir.
    virtual int GetProgramsDir(HWND owner, char* buffer, int size) = 0;
    // Copies what follows the last backslash of `path` into `name` (the whole path when it has
    // none; empty when the path ends in a backslash). Always 1.
    virtual int ExtractFileName(const char* path, char* name) = 0;
    // Copies `path` up to its last backslash, without it, into `directory` ("C:" for a file at
    // a drive root; empty when the path has no backslash). Always 1.
    virtual int ExtractDirectory(const char* path, char* directory) = 0;
    // Changes 'a'-'z' to upper case (MakeLower: 'A'-'Z' to lower case) in place; double-byte
    // characters and single-byte katakana stay as they are. Always 1.
    virtual int MakeUpper(char* text) = 0;
    virtual int MakeLower(char* text) = 0;
    // Total free bytes on the volume that holds `path` (not the quota-limited figure; see
    // GsVolumeRoot); *freeBytes is written only on success.
    virtual int GetFreeDiskSpace(const char* path, ULONGLONG* freeBytes) = 0;
    // 1 when the volume that holds `path` is a fixed disk; 0 for every other type or an
    // invalid root.
    virtual int IsFixedDrive(const char* path) = 0;
    // The running system, as FormatOSVersionText writes it. Always 1.
    virtual int GetOSVersionText(char* text) = 0;
    // 1 on the NT platform, else 0.
    virtual int IsWindowsNT() = 0;
    // GlobalMemoryStatus into *status, its length field set first.
    virtual void GetMemoryStatus(MEMORYSTATUS* status) = 0;
    // Total and available physical memory in bytes, through GetMemoryStatus (so an override of
    // it is seen). The system's own field type: 32 bits on 32-bit Windows.
    virtual SIZE_T GetTotalPhysicalMemory() = 0;
    virtual SIZE_T GetAvailablePhysicalMemory() = 0;
    // The computer and user names into `buffer` (`size` bytes).
    virtual int QueryComputerName(char* buffer, int size) = 0;
    virtual int QueryUserName(char* buffer, int size) = 0;
    // Sets the desktop wallpaper, saved in the user's profile and announced to all windows.
    // The system's BOOL, unchanged.
    virtual BOOL SetWallpaper(const char* imagePath) = 0;
    // The common Save-File / Open-File dialog. `path` (260 bytes) holds the initial file name
    // and receives the chosen full path; `fileTitle` (260 bytes) receives the bare name;
    // `directory` (260 bytes) is the initial folder and receives the chosen file's folder
    // without a trailing backslash. `filter` is the usual list of description/pattern pairs.
    // 1 when a file was chosen; 0 when cancelled or failed, `directory` then unchanged.
    // Save asks before overwriting; Open requires the file and its folder to exist.
    virtual int SaveFileDialog(HWND owner, char* path, char* fileTitle, char* directory,
                               const char* filter, const char* defaultExtension) = 0;
    virtual int OpenFileDialog(HWND owner, char* path, char* fileTitle, char* directory,
                               const char* filter, const char* defaultExtension) = 0;
    // The folder dialog, starting at the desktop, file-system folders only. `initialSelection`
    // (may be null) is preselected. `path` (260 bytes) receives the chosen folder. 1 when a
    // folder was chosen, 0 when cancelled or failed.
    virtual int BrowseFolderDialog(HWND owner, char* path, const char* title,
                                   const char* initialSelection) = 0;
    // 1 when `folder` + `fileName` (plain concatenation: the folder ends in its own backslash)
    // and, when given, `folder` + `secondFileName` can both be opened for reading.
    virtual int FilesExist(const char* fileName, const char* secondFileName,
                           const char* folder) = 0;
    // The root ("D:\") of the first CD-ROM drive on which FilesExist finds the files, into
    // `drive`. 1 when found; 0 with `drive` empty otherwise. Empty drives show no system
    // message; the error mode is restored.
    virtual int FindCdRomDrive(const char* fileName, const char* secondFileName,
                               std::string& drive) = 0;
    // Creates every level of `path` from the top; existing levels are fine, failures are
    // ignored. Only the first 259 bytes are used. Always 1.
    virtual int CreateDirectoryPath(const char* path) = 0;
    // The component factory: a new component for `identifier` in *component (owned by the
    // caller, ended with Release) and S_OK, or null and E_FAIL.
    virtual HRESULT CreateComponent(const GUID& identifier, IGsInterface** component) = 0;
    virtual ~IGsUtility() = default;
};

// The utility object. No data; construct it directly (on the stack, or with new and end it with
// Release).
class CGsUtility : public IGsUtility
{
public:
    CGsUtility() = default;
    ~CGsUtility() override = default;
    CGsUtility(const CGsUtility&) = delete;
    CGsUtility& operator=(const CGsUtility&) = delete;

    int GetProgramFilesDir(char* buffer, int size) override;
    int GetDesktopDir(char* buffer, int size) override;
    int GetWindowsDir(char* buffer, int size) override;
    int GetTempDir(char* buffer, int size) override;
    int GetProgramsDir(HWND owner, char* buffer, int size) override;
    int ExtractFileName(const char* path, char* name) override;
    int ExtractDirectory(const char* path, char* directory) override;
    int MakeUpper(char* text) override;
    int MakeLower(char* text) override;
    int GetFreeDiskSpace(const char* path, ULONGLONG* freeBytes) override;
    int IsFixedDrive(const char* path) override;
    int GetOSVersionText(char* text) override;
    int IsWindowsNT() override;
    void GetMemoryStatus(MEMORYSTATUS* status) override;
    SIZE_T GetTotalPhysicalMemory() override;
    SIZE_T GetAvailablePhysicalMemory() override;
    int QueryComputerName(char* buffer, int size) override;
    int QueryUserName(char* buffer, int size) override;
    BOOL SetWallpaper(const char* imagePath) override;
    int SaveFileDialog(HWND owner, char* path, char* fileTitle, char* directory, const char* filter,
                       const char* defaultExtension) override;
    int OpenFileDialog(HWND owner, char* path, char* fileTitle, char* directory, const char* filter,
                       const char* defaultExtension) override;
    int BrowseFolderDialog(HWND owner, char* path, const char* title,
                           const char* initialSelection) override;
    int FilesExist(const char* fileName, const char* secondFileName, const char* folder) override;
    int FindCdRomDrive(const char* fileName, const char* secondFileName,
                       std::string& drive) override;
    int CreateDirectoryPath(const char* path) override;
    HRESULT CreateComponent(const GUID& identifier, IGsInterface** component) override;
};

// The root of `path` by its text: cut after its first backslash at byte offsets 1 to 258
// ("C:\dir\file" gives "C:\"), for a share after the backslash that ends the share's name
// ("\\server\share\dir" and "\\server\share" give "\\server\share\"), behind a long path's
// prefix likewise ("\\?\C:\", "\\?\UNC\server\share\"); or the path unchanged (at most 259
// bytes, whole characters) when it has no such backslash.
std::string GsDriveRoot(const char* path);

// The root of the volume that holds `path`, which GetFreeDiskSpace and IsFixedDrive ask about:
// the mount point the system reports for its full path (a folder where another volume is
// mounted is a root of its own), always with a final backslash; GsDriveRoot where the system
// reports none (an unreachable share, a path too long).
std::string GsVolumeRoot(const char* path);

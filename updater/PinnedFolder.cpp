#include "PinnedFolder.h"

#include <winternl.h>

#include <cstddef>
#include <cstring>

namespace
{

constexpr NTSTATUS NT_NAME_NOT_FOUND = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS NT_PATH_NOT_FOUND = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS NT_NAME_COLLISION = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS NT_ACCESS_DENIED = static_cast<NTSTATUS>(0xC0000022);
constexpr NTSTATUS NT_DELETE_PENDING = static_cast<NTSTATUS>(0xC0000056);
constexpr NTSTATUS NT_PROCEDURE_NOT_FOUND = static_cast<NTSTATUS>(0xC000007A);
// A name that opened something other than itself (STATUS_REPARSE_POINT_NOT_RESOLVED).
constexpr NTSTATUS NT_NOT_ITSELF = static_cast<NTSTATUS>(0xC0000280);
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool g_bDeletedNamesStayPending = false;
MitigationSetter g_pSetMitigation = nullptr;

template <typename Function> Function LookUp(const char* module, const char* name)
{
    const HMODULE loaded = GetModuleHandleA(module);
    void* address =
        loaded != nullptr ? reinterpret_cast<void*>(GetProcAddress(loaded, name)) : nullptr;
    return reinterpret_cast<Function>(address);
}

// The native calls, from ntdll, which every process has loaded: looked up rather than
// imported, so that the program's import table keeps to the DLLs it names today.
struct NativeApi
{
    using CreateFunction = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                            PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                            ULONG, PVOID, ULONG);
    using SetFunction = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                         FILE_INFORMATION_CLASS);
    using ErrorFunction = ULONG(NTAPI*)(NTSTATUS);
    CreateFunction create;
    SetFunction set;
    ErrorFunction toError;
};

const NativeApi& Native()
{
    static const NativeApi api = {
        LookUp<NativeApi::CreateFunction>("ntdll.dll", "NtCreateFile"),
        LookUp<NativeApi::SetFunction>("ntdll.dll", "NtSetInformationFile"),
        LookUp<NativeApi::ErrorFunction>("ntdll.dll", "RtlNtStatusToDosError"),
    };
    return api;
}

DWORD ToError(NTSTATUS status)
{
    if (status >= 0)
    {
        return ERROR_SUCCESS;
    }
    return Native().toError != nullptr ? Native().toError(status) : ERROR_GEN_FAILURE;
}

bool IsMissing(NTSTATUS status)
{
    return status == NT_NAME_NOT_FOUND || status == NT_PATH_NOT_FOUND;
}

// Bytes of `path` up to and including its last backslash (0 when it has none). A forward scan
// tells a separator from the trail byte 0x5C of a double-byte character.
std::size_t FolderLength(const char* path)
{
    std::size_t length = 0;
    for (std::size_t at = 0; path[at] != '\0'; ++at)
    {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[at])) && path[at + 1] != '\0')
        {
            ++at;
        }
        else if (path[at] == '\\')
        {
            length = at + 1;
        }
    }
    return length;
}

// The ANSI text as wide characters, exactly; false when a byte does not convert.
bool ToWide(const char* text, std::size_t length, std::vector<wchar_t>& wide)
{
    wide.assign(1, L'\0');
    if (length == 0)
    {
        return true;
    }
    const int count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text,
                                          static_cast<int>(length), nullptr, 0);
    if (count <= 0)
    {
        return false;
    }
    wide.assign(static_cast<std::size_t>(count) + 1, L'\0');
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, static_cast<int>(length),
                               wide.data(), count) == count;
}

// One name of the folder: no separator, no stream, not the folder itself or its parent.
bool IsPlainName(const std::vector<wchar_t>& name)
{
    const std::size_t length = name.size() - 1;
    if (length == 0 || (name[0] == L'.' && (length == 1 || (length == 2 && name[1] == L'.'))))
    {
        return false;
    }
    for (std::size_t at = 0; at < length; ++at)
    {
        if (name[at] == L'\\' || name[at] == L'/' || name[at] == L':')
        {
            return false;
        }
    }
    return true;
}

// A handle closed on every path unless released.
class Handle
{
public:
    explicit Handle(HANDLE opened) : handle(opened) {}
    ~Handle()
    {
        if (handle != INVALID_HANDLE_VALUE)
        {
            CloseHandle(handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return handle; }
    HANDLE Release()
    {
        const HANDLE released = handle;
        handle = INVALID_HANDLE_VALUE;
        return released;
    }

private:
    HANDLE handle;
};

NTSTATUS Dispose(HANDLE file)
{
    if (Native().set == nullptr)
    {
        return NT_PROCEDURE_NOT_FOUND;
    }
    FILE_DISPOSITION_INFORMATION disposition{};
    disposition.DoDeleteFile = TRUE;
    IO_STATUS_BLOCK io{};
    return Native().set(file, &io, &disposition, sizeof disposition, FileDispositionInformation);
}

} // namespace

CPinnedFolder::~CPinnedFolder()
{
    // The seam's held files go as their last handle closes, as on Windows.
    for (auto& held : pending)
    {
        Dispose(held.first);
        CloseHandle(held.first);
    }
    if (folder != INVALID_HANDLE_VALUE)
    {
        CloseHandle(folder);
    }
}

int CPinnedFolder::Pin(const char* entryPath)
{
    if (entryPath == nullptr || IsPinned())
    {
        return 0;
    }
    const std::size_t length = FolderLength(entryPath);
    folderText.assign(entryPath, entryPath + length);
    folderText.push_back('\0');
    // The folder without its last backslash, unless that is a root's ("C:\", "\").
    std::size_t open = length;
    if (open > 1 && entryPath[open - 2] != ':')
    {
        --open;
    }
    std::vector<wchar_t> path;
    if (length == 0)
    {
        path = {L'.', L'\0'};
    }
    else if (!ToWide(entryPath, open, path))
    {
        return 0;
    }
    // Without delete sharing: nobody can rename or remove the folder while it is held. Write
    // access lets the folder's entries be flushed; a file system that refuses it still
    // serves the step.
    const DWORD access = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    for (const DWORD extra : {static_cast<DWORD>(FILE_ADD_FILE), static_cast<DWORD>(0)})
    {
        folder = CreateFileW(path.data(), access | extra, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (folder != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED)
        {
            break;
        }
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (folder == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(folder, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        if (folder != INVALID_HANDLE_VALUE)
        {
            CloseHandle(folder);
            folder = INVALID_HANDLE_VALUE;
        }
        return 0;
    }
    // Every name opened later is compared with this real folder.
    const DWORD needed = GetFinalPathNameByHandleW(folder, nullptr, 0, FILE_NAME_NORMALIZED);
    realPath.assign(needed + 1, L'\0');
    if (needed == 0 || GetFinalPathNameByHandleW(folder, realPath.data(), needed + 1,
                                                 FILE_NAME_NORMALIZED) >= needed + 1)
    {
        realPath.assign(1, L'\0');
        CloseHandle(folder);
        folder = INVALID_HANDLE_VALUE;
        return 0;
    }
    realPath.resize(static_cast<std::size_t>(lstrlenW(realPath.data())) + 1);
    return 1;
}

bool CPinnedFolder::NameOf(const char* path, std::vector<wchar_t>& name) const
{
    if (!IsPinned() || path == nullptr)
    {
        return false;
    }
    const std::size_t length = FolderLength(path);
    return length == folderText.size() - 1 && std::memcmp(path, folderText.data(), length) == 0 &&
           ToWide(path + length, std::strlen(path + length), name) && IsPlainName(name);
}

bool CPinnedFolder::IsPending(const std::vector<wchar_t>& name) const
{
    for (const auto& held : pending)
    {
        if (lstrcmpiW(held.second.data(), name.data()) == 0)
        {
            return true;
        }
    }
    return false;
}

long CPinnedFolder::OpenRelative(const std::vector<wchar_t>& name, ACCESS_MASK access, DWORD share,
                                 unsigned long disposition, unsigned long options,
                                 HANDLE& file) const
{
    file = INVALID_HANDLE_VALUE;
    if (IsPending(name))
    {
        return NT_DELETE_PENDING;
    }
    if (Native().create == nullptr)
    {
        return NT_PROCEDURE_NOT_FOUND;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t*>(name.data());
    text.Length = static_cast<USHORT>((name.size() - 1) * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    // FILE_OPEN_REPARSE_POINT: a link or junction under this name is opened as itself.
    const NTSTATUS status = Native().create(
        &opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
        disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0)
    {
        return status;
    }
    if (!IsEntryItself(opened, name))
    {
        CloseHandle(opened);
        return NT_NOT_ITSELF;
    }
    file = opened;
    return status;
}

// Whether the handle is the entry of that name in the held folder. Windows opens a link or
// junction as itself here; a system that follows it all the same (wine does, for its links)
// gives a handle elsewhere, which the step must not touch: renaming or deleting through it
// would act on whatever the link names.
bool CPinnedFolder::IsEntryItself(HANDLE file, const std::vector<wchar_t>& name) const
{
    std::vector<wchar_t> expected(realPath.begin(), realPath.end() - 1);
    if (expected.empty() || expected.back() != L'\\')
    {
        expected.push_back(L'\\');
    }
    expected.insert(expected.end(), name.begin(), name.end());
    std::vector<wchar_t> actual(expected.size() + 1, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(
        file, actual.data(), static_cast<DWORD>(actual.size()), FILE_NAME_NORMALIZED);
    return length == expected.size() - 1 && lstrcmpiW(actual.data(), expected.data()) == 0;
}

long CPinnedFolder::SetName(HANDLE file, int informationClass, const std::vector<wchar_t>& name,
                            bool replace) const
{
    if (IsPending(name))
    {
        return NT_ACCESS_DENIED;
    }
    if (Native().set == nullptr)
    {
        return NT_PROCEDURE_NOT_FOUND;
    }
    // The rename and the link information have the same layout; the new name is relative to
    // the held folder.
    const std::size_t bytes = (name.size() - 1) * sizeof(wchar_t);
    std::vector<unsigned char> buffer(offsetof(FILE_RENAME_INFORMATION, FileName) + bytes +
                                      sizeof(wchar_t));
    auto* information = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    information->ReplaceIfExists = replace ? TRUE : FALSE;
    information->RootDirectory = folder;
    information->FileNameLength = static_cast<ULONG>(bytes);
    std::memcpy(information->FileName, name.data(), bytes);
    IO_STATUS_BLOCK io{};
    return Native().set(file, &io, information, static_cast<ULONG>(buffer.size()),
                        static_cast<FILE_INFORMATION_CLASS>(informationClass));
}

DWORD CPinnedFolder::Attributes(const char* path, DWORD& attributes) const
{
    attributes = INVALID_FILE_ATTRIBUTES;
    HANDLE file;
    const DWORD error = Open(path, FILE_READ_ATTRIBUTES, SHARE_ALL, file);
    if (error != ERROR_SUCCESS)
    {
        return error;
    }
    const Handle owned(file);
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information))
    {
        return GetLastError();
    }
    attributes = information.dwFileAttributes;
    return ERROR_SUCCESS;
}

DWORD CPinnedFolder::Open(const char* path, ACCESS_MASK access, DWORD share, HANDLE& file) const
{
    file = INVALID_HANDLE_VALUE;
    std::vector<wchar_t> name;
    if (!NameOf(path, name))
    {
        return ERROR_INVALID_NAME;
    }
    return ToError(OpenRelative(name, access, share, FILE_OPEN, 0, file));
}

DWORD CPinnedFolder::CreateNew(const char* path, HANDLE& file) const
{
    file = INVALID_HANDLE_VALUE;
    std::vector<wchar_t> name;
    if (!NameOf(path, name))
    {
        return ERROR_INVALID_NAME;
    }
    return ToError(OpenRelative(name, GENERIC_READ | GENERIC_WRITE, 0, FILE_CREATE,
                                FILE_NON_DIRECTORY_FILE, file));
}

DWORD CPinnedFolder::Rename(const char* from, const char* to, bool replace) const
{
    std::vector<wchar_t> name;
    HANDLE file;
    const DWORD error = Open(from, DELETE, SHARE_ALL, file);
    if (error != ERROR_SUCCESS)
    {
        return error;
    }
    const Handle owned(file);
    return NameOf(to, name) ? ToError(SetName(file, FileRenameInformation, name, replace))
                            : ERROR_INVALID_NAME;
}

DWORD CPinnedFolder::Link(const char* existing, const char* newName) const
{
    std::vector<wchar_t> name;
    HANDLE file;
    const DWORD error = Open(existing, FILE_WRITE_ATTRIBUTES, SHARE_ALL, file);
    if (error != ERROR_SUCCESS)
    {
        return error;
    }
    const Handle owned(file);
    return NameOf(newName, name) ? ToError(SetName(file, FileLinkInformation, name, false))
                                 : ERROR_INVALID_NAME;
}

DWORD CPinnedFolder::Remove(const char* path) const
{
    std::vector<wchar_t> name;
    if (!NameOf(path, name))
    {
        return ERROR_INVALID_NAME;
    }
    HANDLE opened;
    const NTSTATUS status =
        OpenRelative(name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, SHARE_ALL,
                     FILE_OPEN, 0, opened);
    if (IsMissing(status))
    {
        return ERROR_SUCCESS;
    }
    if (status < 0)
    {
        return ToError(status);
    }
    Handle file(opened);
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.Get(), &information))
    {
        return GetLastError();
    }
    const DWORD attributes = information.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    {
        return ERROR_DIRECTORY;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
    {
        // On this handle, which is the name itself: a link's target keeps its attributes.
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof basic);
    }
    // Renamed to a name of its own first: where another program holds the file with delete
    // sharing, Windows keeps a deleted file's name until that program lets go, and the step
    // needs the name at once. Where the rename is refused, the file is deleted in place.
    std::vector<wchar_t> current = name;
    for (int attempt = 0; attempt < 4; ++attempt)
    {
        wchar_t unique[32];
        wsprintfW(unique, L"~gs%08lx%04lx.tmp", GetCurrentProcessId(), ++removals & 0xFFFF);
        std::vector<wchar_t> candidate(unique, unique + lstrlenW(unique) + 1);
        const NTSTATUS renamed = SetName(file.Get(), FileRenameInformation, candidate, false);
        if (renamed >= 0)
        {
            current = candidate;
            break;
        }
        if (renamed != NT_NAME_COLLISION)
        {
            break;
        }
    }
    if (g_bDeletedNamesStayPending)
    {
        pending.emplace_back(file.Release(), current);
    }
    else
    {
        const NTSTATUS deleted = Dispose(file.Get());
        if (deleted < 0)
        {
            if (current != name)
            {
                SetName(file.Get(), FileRenameInformation, name, false);
            }
            return ToError(deleted);
        }
    }
    const HANDLE closing = file.Release();
    if (closing != INVALID_HANDLE_VALUE)
    {
        CloseHandle(closing);
    }
    DWORD left;
    const DWORD error = Attributes(path, left);
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS
                                                                          : ERROR_FILE_EXISTS;
}

void CPinnedFolder::Flush() const
{
    if (IsPinned())
    {
        FlushFileBuffers(folder);
    }
}

int EnableRedirectionTrust()
{
    MitigationSetter setPolicy = g_pSetMitigation;
    if (setPolicy == nullptr)
    {
        setPolicy = LookUp<MitigationSetter>("kernel32.dll", "SetProcessMitigationPolicy");
    }
    if (setPolicy == nullptr)
    {
        return 0;
    }
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy{};
    policy.EnforceRedirectionTrust = 1;
    return setPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof policy) ? 1 : 0;
}

void SetDeletedNamesStayPending(bool pending)
{
    g_bDeletedNamesStayPending = pending;
}

void SetMitigationSetter(MitigationSetter setPolicy)
{
    g_pSetMitigation = setPolicy;
}

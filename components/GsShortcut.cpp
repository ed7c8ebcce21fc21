#include "GsShortcut.h"

#include <objbase.h>
#include <shlobj.h>

int g_nComInitCount = 0;

namespace
{

// Whether the CoInitialize made for the first counted object succeeded (S_OK or S_FALSE). A
// failed one, such as on a thread already in another apartment model, must not be balanced by
// a CoUninitialize that would end someone else's initialisation.
bool g_bComInitialized = false;

// Owns one COM interface pointer and releases it at the end of the scope.
template <typename T> class ComHolder
{
public:
    ComHolder() = default;
    ~ComHolder()
    {
        if (pointer != nullptr)
        {
            pointer->Release();
        }
    }
    ComHolder(const ComHolder&) = delete;
    ComHolder& operator=(const ComHolder&) = delete;

    T* operator->() const { return pointer; }
    T* Get() const { return pointer; }
    void** Out() { return reinterpret_cast<void**>(&pointer); }

private:
    T* pointer = nullptr;
};

// The shell link takes a null pointer for a property that is not set.
const char* TextOrNull(const std::string& text)
{
    return text.empty() ? nullptr : text.c_str();
}

const char* TextOrEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

} // namespace

CGsShortcut::CGsShortcut()
{
    Clear();
}

int CGsShortcut::Initialize()
{
    if (counted)
    {
        return 0;
    }
    if (g_nComInitCount == 0)
    {
        g_bComInitialized = SUCCEEDED(CoInitialize(nullptr));
    }
    ++g_nComInitCount;
    counted = true;
    return 0;
}

int CGsShortcut::Release()
{
    if (counted)
    {
        counted = false;
        --g_nComInitCount;
        if (g_nComInitCount == 0 && g_bComInitialized)
        {
            g_bComInitialized = false;
            CoUninitialize();
        }
    }
    delete this;
    return 0;
}

int CGsShortcut::Clear()
{
    arguments.clear();
    description.clear();
    iconFile.clear();
    workingDirectory.clear();
    hotkey = 0;
    iconIndex = 0;
    showCommand = 0;
    return 1;
}

void CGsShortcut::SetArguments(const char* text)
{
    arguments = TextOrEmpty(text);
}

void CGsShortcut::SetDescription(const char* text)
{
    description = TextOrEmpty(text);
}

void CGsShortcut::SetIconLocation(const char* file, int index)
{
    iconFile = TextOrEmpty(file);
    iconIndex = index;
}

void CGsShortcut::SetWorkingDirectory(const char* text)
{
    workingDirectory = TextOrEmpty(text);
}

void CGsShortcut::SetShowCommand(int command)
{
    showCommand = command;
}

void CGsShortcut::SetHotkey(WORD key)
{
    hotkey = key;
}

int CGsShortcut::Save(const char* linkPath, const char* targetPath)
{
    if (linkPath == nullptr || targetPath == nullptr)
    {
        return 0;
    }
    // The name is converted whole or not at all: a cut name would save the shortcut somewhere
    // the caller never asked for. Checked first, so that a refused name costs no COM work.
    WCHAR widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) == 0)
    {
        return 0;
    }

    ComHolder<IShellLinkA> link;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         link.Out()) != S_OK)
    {
        return 0;
    }
    // A property the link refuses does not stop the save; only the save's result counts.
    link->SetPath(targetPath);
    link->SetArguments(TextOrNull(arguments));
    link->SetDescription(TextOrNull(description));
    // An empty working directory is not set at all: the fresh link has none, which is what an
    // empty one means, and some shell-link objects store garbage for a null directory.
    if (!workingDirectory.empty())
    {
        link->SetWorkingDirectory(workingDirectory.c_str());
    }
    link->SetIconLocation(TextOrNull(iconFile), iconIndex);
    link->SetHotkey(hotkey);
    link->SetShowCmd(showCommand);

    ComHolder<IPersistFile> file;
    if (link->QueryInterface(IID_IPersistFile, file.Out()) != S_OK)
    {
        return 0;
    }
    return file->Save(widePath, TRUE) == S_OK ? 1 : 0;
}

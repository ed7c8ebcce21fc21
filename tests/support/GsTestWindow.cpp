#include "GsTestWindow.h"

#include <algorithm>
#include <vector>

namespace gstest
{
namespace
{

// Another process that does not answer within this time counts as hung.
constexpr UINT ANSWER_TIMEOUT_MS = 2000;
constexpr DWORD POLL_MS = 50;

BOOL CALLBACK CollectChild(HWND window, LPARAM context)
{
    auto* children = reinterpret_cast<std::vector<HWND>*>(context);
    children->push_back(window);
    return TRUE;
}

// Direct children only: EnumChildWindows also walks grandchildren.
std::vector<HWND> DirectChildren(HWND window)
{
    std::vector<HWND> all;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> direct;
    for (HWND child : all)
    {
        if (GetParent(child) == window)
            direct.push_back(child);
    }
    return direct;
}

int IsIconStatic(HWND control)
{
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    return GetClass(control) == "Static" && (style & SS_TYPEMASK) == SS_ICON ? 1 : 0;
}

// A box without an icon may still have the icon static, hidden or empty.
int ShowsIcon(HWND iconStatic)
{
    DWORD_PTR icon = 0;
    return IsWindowVisible(iconStatic) &&
                   SendMessageTimeoutA(iconStatic, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG,
                                       ANSWER_TIMEOUT_MS, &icon) &&
                   icon != 0
               ? 1
               : 0;
}

int IsAnswerId(int id)
{
    return id >= IDOK && id <= IDCONTINUE ? 1 : 0;
}

UINT ButtonSetStyle(std::vector<int> ids)
{
    std::sort(ids.begin(), ids.end());
    const struct
    {
        std::vector<int> ids;
        UINT style;
    } sets[] = {
        {{IDOK}, MB_OK},
        {{IDOK, IDCANCEL}, MB_OKCANCEL},
        {{IDYES, IDNO}, MB_YESNO},
        {{IDCANCEL, IDYES, IDNO}, MB_YESNOCANCEL},
        {{IDCANCEL, IDRETRY}, MB_RETRYCANCEL},
        {{IDABORT, IDRETRY, IDIGNORE}, MB_ABORTRETRYIGNORE},
        {{IDCANCEL, IDTRYAGAIN, IDCONTINUE}, MB_CANCELTRYCONTINUE},
    };
    for (const auto& set : sets)
    {
        if (set.ids == ids)
            return set.style;
    }
    return 0xFFFFFFFF;
}

// 32-bit pixels of a screen area, or of an icon drawn on a plain background of that size.
class Pixels
{
public:
    Pixels(int pixelWidth, int pixelHeight) : width(pixelWidth), height(pixelHeight)
    {
        screen = GetDC(nullptr);
        memory = CreateCompatibleDC(screen);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        previous = SelectObject(memory, bitmap);
    }
    ~Pixels()
    {
        SelectObject(memory, previous);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;

    std::vector<DWORD> FromScreen(int x, int y)
    {
        BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY);
        return Read();
    }
    std::vector<DWORD> FromIcon(HICON icon, DWORD background)
    {
        HBRUSH brush = CreateSolidBrush(
            RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
        RECT all = {0, 0, width, height};
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
        return Read();
    }

private:
    std::vector<DWORD> Read()
    {
        GdiFlush();
        if (bits == nullptr)
        {
            return {};
        }
        const DWORD* first = static_cast<const DWORD*>(bits);
        std::vector<DWORD> result(first, first + width * height);
        for (DWORD& pixel : result)
            pixel &= 0xFFFFFF;
        return result;
    }

    int width;
    int height;
    HDC screen = nullptr;
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    void* bits = nullptr;
};

// The MB_ICON style whose system icon shows in `iconStatic`, 0 for none that matches.
UINT IconOnScreen(HWND iconStatic)
{
    RECT rect;
    if (!GetWindowRect(iconStatic, &rect) || rect.right <= rect.left || rect.bottom <= rect.top)
        return 0;
    Pixels pixels(rect.right - rect.left, rect.bottom - rect.top);
    const std::vector<DWORD> shown = pixels.FromScreen(rect.left, rect.top);
    if (shown.empty())
        return 0;
    // The icons' corners are transparent, so the last pixel is the box's background.
    const DWORD background = shown.back();
    const struct
    {
        LPCSTR icon;
        UINT style;
    } icons[] = {
        {IDI_INFORMATION, MB_ICONINFORMATION},
        {IDI_ERROR, MB_ICONERROR},
        {IDI_WARNING, MB_ICONWARNING},
        {IDI_QUESTION, MB_ICONQUESTION},
    };
    for (const auto& candidate : icons)
    {
        if (pixels.FromIcon(LoadIconA(nullptr, candidate.icon), background) == shown)
            return candidate.style;
    }
    return 0;
}

} // namespace

std::string GetText(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, ANSWER_TIMEOUT_MS,
                             &length))
    {
        return std::string();
    }
    // The length is in bytes for an ANSI caller, but may be an overestimate: size to fit.
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             ANSWER_TIMEOUT_MS, &copied))
    {
        return std::string();
    }
    return std::string(buffer.data());
}

std::string GetClass(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<ControlState> GetControls(HWND window)
{
    std::vector<ControlState> controls;
    for (HWND child : DirectChildren(window))
    {
        ControlState state;
        state.hwnd = child;
        state.id = GetDlgCtrlID(child);
        state.className = GetClass(child);
        state.text = GetText(child);
        state.enabled = IsWindowEnabled(child) ? 1 : 0;
        state.visible = IsWindowVisible(child) ? 1 : 0;
        state.style = GetWindowLongA(child, GWL_STYLE);
        controls.push_back(state);
    }
    return controls;
}

HWND GetControl(HWND window, int id)
{
    for (HWND child : DirectChildren(window))
    {
        if (GetDlgCtrlID(child) == id)
            return child;
    }
    return nullptr;
}

int PressButton(HWND window, int controlId)
{
    HWND button = GetControl(window, controlId);
    return button != nullptr && PostMessageA(button, BM_CLICK, 0, 0) ? 1 : 0;
}

int PostCommand(HWND window, int commandId)
{
    HWND control = GetControl(window, commandId);
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(commandId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control))
               ? 1
               : 0;
}

int PostSysCommand(HWND window, WPARAM command)
{
    return PostMessageA(window, WM_SYSCOMMAND, command, 0) ? 1 : 0;
}

int WaitForText(HWND window, const std::string& text, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetText(window) != text)
    {
        if (!IsWindow(window) || GetTickCount() - start >= timeoutMs)
            return 0;
        Sleep(POLL_MS);
    }
    return 1;
}

int WaitUntilGone(HWND window, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (IsWindow(window))
    {
        if (GetTickCount() - start >= timeoutMs)
            return 0;
        Sleep(POLL_MS);
    }
    return 1;
}

int IsMessageBox(HWND window)
{
    if (GetClass(window) != "#32770")
        return 0;
    int buttons = 0;
    for (HWND child : DirectChildren(window))
    {
        const std::string name = GetClass(child);
        if (name == "Button")
        {
            if (!IsAnswerId(GetDlgCtrlID(child)))
                return 0;
            ++buttons;
        }
        else if (name != "Static")
            return 0;
    }
    return buttons > 0 ? 1 : 0;
}

int ReadMessageBox(HWND box, MessageBoxState* state, DWORD timeoutMs)
{
    if (state == nullptr || !IsMessageBox(box))
        return 0;
    *state = MessageBoxState();
    state->hwnd = box;
    state->owner = GetWindow(box, GW_OWNER);
    state->caption = GetText(box);
    HWND iconStatic = nullptr;
    for (HWND child : DirectChildren(box))
    {
        if (GetClass(child) == "Button")
            state->buttons.push_back(GetDlgCtrlID(child));
        else if (IsIconStatic(child))
            iconStatic = ShowsIcon(child) ? child : nullptr;
        else if (state->text.empty())
            state->text = GetText(child);
    }
    const UINT buttons = ButtonSetStyle(state->buttons);
    UINT icon = 0;
    if (iconStatic != nullptr)
    {
        // Another window may cover the box for a moment: bring it up and look again until
        // one of the system icons shows.
        SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        const DWORD start = GetTickCount();
        while ((icon = IconOnScreen(iconStatic)) == 0 && GetTickCount() - start < timeoutMs)
            Sleep(POLL_MS);
    }
    state->style =
        buttons == 0xFFFFFFFF || (iconStatic != nullptr && icon == 0) ? 0xFFFFFFFF : buttons | icon;
    return 1;
}

} // namespace gstest

#include "GsMessageBox.h"

namespace
{

int ShowSystemMessageBox(HWND owner, const char* text, const char* caption, UINT style)
{
    return MessageBoxA(owner, text, caption, style);
}

GsMessageBoxFunction g_pMessageBoxFunction = ShowSystemMessageBox;

} // namespace

int GsMessageBox(HWND owner, const char* text, const char* caption, UINT style)
{
    return g_pMessageBoxFunction(owner, text, caption, style);
}

GsMessageBoxFunction GsSetMessageBoxFunction(GsMessageBoxFunction function)
{
    const GsMessageBoxFunction before = g_pMessageBoxFunction;
    g_pMessageBoxFunction = function != nullptr ? function : ShowSystemMessageBox;
    return before;
}

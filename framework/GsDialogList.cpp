#include "GsDialogList.h"

#include "GsDialog.h"

int g_bDialogListAlive = 0;

CGsDialogList::CGsDialogList()
{
    g_bDialogListAlive = 1;
}

CGsDialogList::~CGsDialogList()
{
    g_bDialogListAlive = 0;
    dialogs.reset();
    count = 0;
    current = 0;
}

void CGsDialogList::Add(CGsDialog* dialog)
{
    if (dialog == nullptr)
    {
        return;
    }
    for (int i = 0; i < count; ++i)
    {
        if (dialogs[i] == dialog)
        {
            return;
        }
    }
    for (int i = 0; i < count; ++i)
    {
        if (dialogs[i] == nullptr)
        {
            dialogs[i] = dialog;
            current = i;
            return;
        }
    }
    // Allocate before touching anything, so that a failed allocation leaves the list as it was.
    std::unique_ptr<CGsDialog*[]> grown(new CGsDialog*[count + 1]);
    for (int i = 0; i < count; ++i)
    {
        grown[i] = dialogs[i];
    }
    grown[count] = dialog;
    dialogs = std::move(grown);
    current = count;
    ++count;
}

void CGsDialogList::Remove(CGsDialog* dialog)
{
    for (int i = 0; i < count; ++i)
    {
        if (dialogs[i] == dialog)
        {
            dialogs[i] = nullptr;
        }
    }
}

CGsDialog* CGsDialogList::FindByWindow(HWND window) const
{
    if (window == nullptr)
    {
        return nullptr;
    }
    for (int i = 0; i < count; ++i)
    {
        if (dialogs[i] != nullptr && dialogs[i]->hwnd == window)
        {
            return dialogs[i];
        }
    }
    return nullptr;
}

CGsDialog* CGsDialogList::GetCurrent() const
{
    return GetAt(current);
}

CGsDialog* CGsDialogList::GetAt(int index) const
{
    return index >= 0 && index < count ? dialogs[index] : nullptr;
}

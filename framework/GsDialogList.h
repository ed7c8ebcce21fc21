#pragma once

#include <windows.h>

#include <memory>

class CGsDialog;

// The dialogs that have a window or are about to get one, so that DialogProc can find the
// object from a window handle. The current dialog (the one added last) receives the messages
// that arrive before a dialog knows its window. The list owns its array, not the dialogs.
// Entries freed by Remove stay as null places and are reused; the array grows by one entry
// only when no place is free and never shrinks. Main thread only.
class CGsDialogList
{
public:
    // Empty list; g_bDialogListAlive becomes 1.
    CGsDialogList();
    // g_bDialogListAlive becomes 0; frees the array (never the dialogs).
    virtual ~CGsDialogList();
    CGsDialogList(const CGsDialogList&) = delete;
    CGsDialogList& operator=(const CGsDialogList&) = delete;

    // A dialog already listed changes nothing (not even the current one). Otherwise it takes
    // the lowest free place, or a new last entry, and becomes the current dialog. Null is
    // ignored. Growing may throw std::bad_alloc; the list is then unchanged.
    void Add(CGsDialog* dialog);
    // Every entry holding `dialog` becomes a free place; the count and the current index stay.
    void Remove(CGsDialog* dialog);
    // The first listed dialog whose hwnd is `window`; null for a null window or none found.
    CGsDialog* FindByWindow(HWND window) const;

    // The dialog at the current index; null when nothing was ever added or the place is free.
    CGsDialog* GetCurrent() const;
    // Number of entries, free places included.
    int GetCount() const { return count; }
    int GetCurrentIndex() const { return current; }
    // The entry at `index` (null for a free place or an index out of range).
    CGsDialog* GetAt(int index) const;

private:
    std::unique_ptr<CGsDialog*[]> dialogs;
    int count = 0;
    int current = 0;
};

// 1 while a CGsDialogList is alive, 0 before the first is built and after it is destroyed.
extern int g_bDialogListAlive;

// The program's one dialog list. Each program defines it in the translation unit of its
// frame, right after the frame (see shell/WinMain.cpp), so that it is built after the frame
// and destroyed before it.
extern CGsDialogList g_DialogList;

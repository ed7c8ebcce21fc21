#pragma once

#include "GsUtility.h"

#include <windows.h>

// A component made the way a program makes one: by identifier through the utility object's
// factory, ended with Release. Empty when the factory refused the identifier or made a
// component of another kind (which is then released at once). Not copyable.
template <typename T> class GsComponentHolder
{
public:
    explicit GsComponentHolder(const GUID& identifier)
    {
        CGsUtility utility;
        IGsInterface* made = nullptr;
        if (utility.CreateComponent(identifier, &made) != S_OK || made == nullptr)
            return;
        pointer = dynamic_cast<T*>(made);
        if (pointer == nullptr)
            made->Release();
    }
    ~GsComponentHolder() { Reset(); }
    GsComponentHolder(const GsComponentHolder&) = delete;
    GsComponentHolder& operator=(const GsComponentHolder&) = delete;

    T* operator->() const { return pointer; }
    T* Get() const { return pointer; }
    // Releases the component now.
    void Reset()
    {
        if (pointer != nullptr)
        {
            pointer->Release();
            pointer = nullptr;
        }
    }

private:
    T* pointer = nullptr;
};

// The frame initialises the common controls while the program's static objects are built,
// before WinMain. The updater must not import comctl32.dll, which Windows would also take
// from the program's own folder; instead this file defines the import slot through which the
// frame's call of InitCommonControls goes, so the linker needs nothing from comctl32, and the
// slot leads to a function that loads the system's comctl32.dll after restricting the DLL
// search. Linked into the updater program only.

#include "SystemLibrary.h"

#include <windows.h>

namespace
{

using InitFunction = void(WINAPI*)();

void WINAPI InitCommonControlsFromSystem()
{
    HMODULE module = GsLoadSystemLibrary("comctl32.dll");
    if (module == nullptr)
    {
        return;
    }
    void* address = reinterpret_cast<void*>(GetProcAddress(module, "InitCommonControls"));
    if (address != nullptr)
    {
        reinterpret_cast<InitFunction>(address)();
    }
}

} // namespace

// The slot's name is the one the compiler reads for a call of a function declared as
// imported: "__imp_" and the function's symbol (stdcall-decorated on 32-bit x86).
#if defined(__i386__)
#define GS_INIT_COMMON_CONTROLS_SLOT "__imp__InitCommonControls@0"
#else
#define GS_INIT_COMMON_CONTROLS_SLOT "__imp_InitCommonControls"
#endif

extern "C" InitFunction const
    gsInitCommonControlsSlot __asm__(GS_INIT_COMMON_CONTROLS_SLOT) = InitCommonControlsFromSystem;

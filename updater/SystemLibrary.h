#pragma once

#include <windows.h>

// The updater runs elevated and is often started from a downloads folder, where anyone may
// have left a DLL named like a system one. Its import table names only DLLs that Windows
// always takes from the system folder; every other system DLL is loaded through here, from
// the system folder and nowhere else.

// Restricts the DLL search of the process to the system folder (SetDefaultDllDirectories,
// looked up at run time: Windows 8 and later, or earlier systems with the loader update).
// Where that function is missing, takes at least the current folder out of the search
// (SetDllDirectoryA with an empty string). Idempotent; call it before the first DLL is loaded.
// 1 when the search is restricted to the system folder, 0 when only the fallback applied.
int GsRestrictDllSearch();

// Loads `name` (a bare file name such as "version.dll") from the system folder by its full
// path, after GsRestrictDllSearch. The module stays loaded for the life of the process. Null
// when the name is empty, the full path does not fit MAX_PATH or the load fails.
HMODULE GsLoadSystemLibrary(const char* name);

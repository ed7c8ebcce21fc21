#include "GsDualBoot.h"

CGsDualBoot::~CGsDualBoot()
{
    Release();
}

int CGsDualBoot::Create(const char* name)
{
    Release();
    handle = CreateMutexA(nullptr, FALSE, name);
    // Read at once: any later call may overwrite the last error.
    const DWORD error = GetLastError();
    return handle != nullptr && error != ERROR_ALREADY_EXISTS ? 1 : 0;
}

void CGsDualBoot::Release()
{
    if (handle != nullptr)
    {
        CloseHandle(handle);
        handle = nullptr;
    }
}

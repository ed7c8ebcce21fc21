#include "GsTestMutex.h"

namespace gstest
{

int NameIsTaken(const char* name)
{
    HANDLE probe = CreateMutexA(nullptr, FALSE, name);
    const DWORD error = GetLastError();
    if (probe != nullptr)
        CloseHandle(probe);
    return probe == nullptr || error == ERROR_ALREADY_EXISTS ? 1 : 0;
}

NameHolder::NameHolder(const char* name) : handle(CreateMutexA(nullptr, FALSE, name)) {}

NameHolder::~NameHolder()
{
    Release();
}

void NameHolder::Release()
{
    if (handle != nullptr)
    {
        CloseHandle(handle);
        handle = nullptr;
    }
}

} // namespace gstest

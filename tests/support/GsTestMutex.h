#pragma once

#include <windows.h>

namespace gstest
{

// 1 when a named mutex of that name exists (held by this or another process), else 0. The
// probe's own handle is closed again at once.
int NameIsTaken(const char* name);

// Holds a named mutex the way the running application (or a running updater) holds it, until
// Release or destruction.
class NameHolder
{
public:
    explicit NameHolder(const char* name);
    ~NameHolder();
    NameHolder(const NameHolder&) = delete;
    NameHolder& operator=(const NameHolder&) = delete;
    void Release();
    HANDLE handle;
};

} // namespace gstest

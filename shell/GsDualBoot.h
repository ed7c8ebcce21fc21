#pragma once

#include <windows.h>

// A start-twice guard: holds a named mutex so that the name stays taken for other processes.
// The mutex is only created and closed, never waited on. Not copyable: it owns the handle.
class CGsDualBoot
{
public:
    CGsDualBoot() = default;
    // Releases the handle, if any.
    virtual ~CGsDualBoot();
    CGsDualBoot(const CGsDualBoot&) = delete;
    CGsDualBoot& operator=(const CGsDualBoot&) = delete;

    // Creates the mutex `name` (no security attributes, not owned). 1 when the guard is
    // obtained: a handle came back and the name did not exist before. 0 otherwise; when the
    // name existed the guard still holds the handle it got until Release. A handle held from
    // an earlier Create is released first.
    int Create(const char* name);
    // Closes the handle, if any; the guard is then empty.
    void Release();
    // The mutex handle, or null.
    HANDLE GetHandle() const { return handle; }

private:
    HANDLE handle = nullptr;
};

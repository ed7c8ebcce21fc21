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
    // name existed the guard still holds the handle it got until Release. A name that exists
    // but may not be opened (no handle, ERROR_ACCESS_DENIED) is not obtained either, so it
    // counts as taken. A handle held from an earlier Create is released first.
    int Create(const char* name);
    // As Create, for a name that programs of lower rights must find taken: an elevated
    // creator's default security would refuse a program of the same user that is not
    // elevated, whose CreateMutexA then fails with ERROR_ACCESS_DENIED instead of reporting
    // ERROR_ALREADY_EXISTS. The mutex grants every authenticated user of the session (the
    // name is local to it) the access CreateMutexA asks for, MUTEX_ALL_ACCESS, and carries a
    // medium integrity label, so that a program at medium integrity may use it. On systems
    // without integrity labels the label is left out.
    int CreateShared(const char* name);
    // Closes the handle, if any; the guard is then empty.
    void Release();
    // The mutex handle, or null.
    HANDLE GetHandle() const { return handle; }

private:
    int CreateWith(const char* name, SECURITY_ATTRIBUTES* attributes);

    HANDLE handle = nullptr;
};

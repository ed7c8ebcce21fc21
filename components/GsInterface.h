#pragma once

// Root of every component interface. A component's first two operations are Initialize and
// Release; each interface places its own virtual destructor in its own slot, so the root has
// none and must never be deleted through directly (hence the protected destructor).
class IGsInterface
{
public:
    // Acquires a process-wide facility where a component needs one. The shared implementation
    // does nothing and returns 0.
    virtual int Initialize() { return 0; }

    // Ends the object: runs its destructor, frees its memory and returns 0. There is no
    // reference count; one Release ends the object. Each interface implements it through its
    // own virtual destructor (see GS_IMPLEMENT_RELEASE).
    virtual int Release() = 0;

protected:
    IGsInterface() = default;
    ~IGsInterface() = default;
    IGsInterface(const IGsInterface&) = default;
    IGsInterface& operator=(const IGsInterface&) = default;
};

// Release for an interface that declares a virtual destructor: deleting through the interface
// reaches the most derived destructor.
#define GS_IMPLEMENT_RELEASE                                                                       \
    int Release() override                                                                         \
    {                                                                                              \
        delete this;                                                                               \
        return 0;                                                                                  \
    }

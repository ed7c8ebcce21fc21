#pragma once

// Root of the framework's window classes. It holds nothing; its virtual destructor lets an
// owner delete any window object through a base pointer.
class CGsWindowBase
{
public:
    CGsWindowBase() = default;
    virtual ~CGsWindowBase();
    CGsWindowBase(const CGsWindowBase&) = delete;
    CGsWindowBase& operator=(const CGsWindowBase&) = delete;
};

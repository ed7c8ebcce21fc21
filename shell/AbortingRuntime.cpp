// How the updater ends when the C++ runtime gives up: at once, with abort. Nothing in the
// updater catches an exception, and the one it can meet, an exhausted heap, ends the program
// either way. The runtime's own versions of these functions cost the updater about a third of
// its code: the default terminate handler prints the type of an uncaught exception through
// the runtime's name demangler, and the helpers that raise the standard exceptions bring the
// exception classes with their reference-counted strings. Defining their symbols here keeps
// the runtime's objects out of the link (a helper missing here would bring the runtime's
// object back and the link would fail on the duplicates, so the list cannot silently fall
// short). Only the updater links this file; the tests keep the runtime's behaviour.

#include <cstdlib>

namespace __gnu_cxx
{

void __verbose_terminate_handler()
{
    std::abort();
}

} // namespace __gnu_cxx

namespace std
{

void __throw_bad_exception()
{
    std::abort();
}
void __throw_bad_alloc()
{
    std::abort();
}
void __throw_bad_array_new_length()
{
    std::abort();
}
void __throw_bad_cast()
{
    std::abort();
}
void __throw_bad_typeid()
{
    std::abort();
}
void __throw_logic_error(const char*)
{
    std::abort();
}
void __throw_domain_error(const char*)
{
    std::abort();
}
void __throw_invalid_argument(const char*)
{
    std::abort();
}
void __throw_length_error(const char*)
{
    std::abort();
}
void __throw_out_of_range(const char*)
{
    std::abort();
}
void __throw_out_of_range_fmt(const char*, ...)
{
    std::abort();
}
void __throw_runtime_error(const char*)
{
    std::abort();
}
void __throw_range_error(const char*)
{
    std::abort();
}
void __throw_overflow_error(const char*)
{
    std::abort();
}
void __throw_underflow_error(const char*)
{
    std::abort();
}

} // namespace std

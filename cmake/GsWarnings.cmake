# Warnings and character sets for the project's own targets (not for GoogleTest). Only C++
# sources get them: windres shares the target's options but understands none of these.
add_library(gs_options INTERFACE)
target_compile_options(gs_options INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wshadow -Werror -finput-charset=UTF-8>
    # Texts the program shows are Shift-JIS (code page 932); sources are UTF-8. CP932 rather
    # than SHIFT_JIS keeps the backslash a backslash. Clang converts to UTF-8 only; it builds
    # just the platform-free code (fuzzers), which holds no Japanese text.
    $<$<AND:$<COMPILE_LANGUAGE:CXX>,$<CXX_COMPILER_ID:GNU>>:-fexec-charset=CP932>)
target_compile_features(gs_options INTERFACE cxx_std_17)

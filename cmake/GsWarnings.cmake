# Warnings and character sets for the project's own targets (not for GoogleTest).
add_library(gs_options INTERFACE)
target_compile_options(gs_options INTERFACE
    -Wall -Wextra -Wshadow -Werror
    # Sources are UTF-8; texts the program shows are Shift-JIS (code page 932). CP932 rather
    # than SHIFT_JIS keeps the backslash a backslash.
    -finput-charset=UTF-8 -fexec-charset=CP932)
target_compile_features(gs_options INTERFACE cxx_std_17)

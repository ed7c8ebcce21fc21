# How the Windows programs are linked, and how the Release tree (the shipped product) is made
# small and reproducible.

# Self-contained programs: no MinGW runtime DLLs beside them.
add_link_options(-static -static-libgcc -static-libstdc++)
# The same bytes from any checkout at any time: no link time in the PE header (ld otherwise
# writes it there and into the checksum over the file), and no build path in the code
# (__FILE__ of assertions and of GoogleTest's messages).
add_link_options(-Wl,--no-insert-timestamp)
add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")

if(CMAKE_BUILD_TYPE STREQUAL "Release")
    # Size over speed: the updater's one heavy step, decoding the payload, takes milliseconds
    # either way. Each function and object in a section of its own, so that the linker drops
    # what no caller reaches (the encoder, the release-description parser, the components the
    # updater does not use).
    set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
    set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections;-fdata-sections>")
    add_link_options(-s -Wl,--gc-sections)
    set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
endif()

# gs_package_without_lto(TARGET...): the libraries that the package installs keep ordinary
# objects. Objects for link-time optimisation could only be linked by programs that are built
# with it themselves (GNU ld reports the standard library's inline functions twice otherwise).
function(gs_package_without_lto)
    set_property(TARGET ${ARGN} PROPERTY INTERPROCEDURAL_OPTIMIZATION OFF)
endfunction()

add_library(ravelin_warnings INTERFACE)
target_compile_options(ravelin_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual)
if(WIN32)
  # COM interfaces have no virtual destructors by design.
  target_compile_options(ravelin_warnings INTERFACE -Wno-non-virtual-dtor)
  target_compile_definitions(ravelin_warnings INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX STRICT
    _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
endif()

# The program's own code: the same warnings, and none of them let through.
option(RAVELIN_WERROR "Treat warnings in src/ as errors" ON)
add_library(ravelin_strict INTERFACE)
target_link_libraries(ravelin_strict INTERFACE ravelin_warnings)
if(RAVELIN_WERROR)
  target_compile_options(ravelin_strict INTERFACE -Werror)
endif()

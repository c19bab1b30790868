# System DLLs the launcher needs only after its frame is on the screen
# (network, signature check, version query, shell): loaded at their first
# call instead of by the loader, so the start does not wait for them or for
# what they pull in. winmm stays a load-time import: the playback hook
# patches its slot in the import table.
#
# Each DLL gets a delay-import library made from the toolchain's import
# library and named like it, in a folder a delay-loading program searches
# first: every -lNAME of its link line, the transitive ones included, then
# finds the delay-import library.
#
# dlltool's first-call stub keeps the integer argument registers only: a
# function with floating-point arguments must not be delay-loaded. A DLL
# that cannot be loaded at the first call (a broken Windows) raises an
# exception there (0xC06D007E; a missing function 0xC06D007F) that nothing
# handles, so the process ends.
set(RAVELIN_DELAY_LOADED_DLLS wininet ws2_32 iphlpapi bcrypt version shell32 shlwapi)

set(RAVELIN_DELAY_IMPORT_DIR ${CMAKE_BINARY_DIR}/delay-import)
set(_ravelin_delay_libs)
foreach(dll IN LISTS RAVELIN_DELAY_LOADED_DLLS)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${dll}.a
                  OUTPUT_VARIABLE import_lib OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT IS_ABSOLUTE "${import_lib}" OR NOT EXISTS "${import_lib}")
    message(FATAL_ERROR "no import library lib${dll}.a in the toolchain")
  endif()
  set(out ${RAVELIN_DELAY_IMPORT_DIR}/lib${dll}.a)
  add_custom_command(OUTPUT ${out}
                     COMMAND ${PROJECT_SOURCE_DIR}/cmake/make-delay-import-lib ${CMAKE_NM} ${CMAKE_DLLTOOL} ${CMAKE_AR}
                             ${import_lib} ${dll}.dll ${out}
                     DEPENDS ${import_lib} ${PROJECT_SOURCE_DIR}/cmake/make-delay-import-lib
                     COMMENT "Delay-import library for ${dll}.dll"
                     VERBATIM)
  list(APPEND _ravelin_delay_libs ${out})
endforeach()
add_custom_target(ravelin_delay_imports DEPENDS ${_ravelin_delay_libs})

# Links `target` with the delay-import libraries in place of the import
# libraries of RAVELIN_DELAY_LOADED_DLLS.
function(ravelin_delay_load target)
  add_dependencies(${target} ravelin_delay_imports)
  target_link_directories(${target} BEFORE PRIVATE ${RAVELIN_DELAY_IMPORT_DIR})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_ravelin_delay_libs})
endfunction()

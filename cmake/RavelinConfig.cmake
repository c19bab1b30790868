# Build-time configuration: the values a build compiles in. Presets and
# command lines set them; nothing is read from a file at run time.

set(RAVELIN_LANGUAGE "1" CACHE STRING
    "UI language digit written into string-table entry 1 (1 Turkish, 2 Portuguese, 3 Spanish, 4 Polish, anything else Chinese)")

if(NOT RAVELIN_LANGUAGE MATCHES "^.$")
  message(FATAL_ERROR "RAVELIN_LANGUAGE must be one character, got '${RAVELIN_LANGUAGE}'")
endif()

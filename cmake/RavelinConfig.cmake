# Build-time configuration: the values a build compiles in. Presets and
# command lines set them; nothing is read from a file at run time.
# Defaults are reserved example names and documentation addresses, so a
# build that nobody configured talks to nobody.

set(RAVELIN_LANGUAGE "1" CACHE STRING
    "UI language digit written into string-table entry 1 (1 Turkish, 2 Portuguese, 3 Spanish, 4 Polish, anything else Chinese)")
set(RAVELIN_GAME_HOST_TR "tr.game.example" CACHE STRING "Game host of the Turkish (and Chinese) build")
set(RAVELIN_GAME_HOST_BR "br.game.example" CACHE STRING "Game host of the Portuguese (Brazil) build")
set(RAVELIN_GAME_HOST_AR "ar.game.example" CACHE STRING "Game host of the Spanish (Argentina) build")
set(RAVELIN_GAME_HOST_PL "pl.game.example" CACHE STRING "Game host of the Polish build")
set(RAVELIN_DOWNLOAD_HOST "download.example" CACHE STRING "Host of the update manifests, builds and diagnostic uploads")
set(RAVELIN_UDP_ECHO_ADDRESS "192.0.2.10" CACHE STRING "Dotted IPv4 address of the UDP echo host")
set(RAVELIN_PUBLIC_SITES "www1.example;www2.example;www3.example;www4.example" CACHE STRING
    "Four public host names the connectivity probe tries, ;-separated")
set(RAVELIN_SERVER_LIST_1 "192.0.2.21+s1.tr.game.example;192.0.2.22+s2.tr.game.example;192.0.2.23+s3.tr.game.example"
    CACHE STRING "Game server list 1 (Turkish, Chinese): three address+host entries, ;-separated")
set(RAVELIN_SERVER_LIST_2
    "198.51.100.21+s1.br.game.example;198.51.100.22+s2.ar.game.example;203.0.113.23+s3.pl.game.example"
    CACHE STRING "Game server list 2 (Portuguese, Spanish, Polish): three address+host entries, ;-separated")

if(NOT RAVELIN_LANGUAGE MATCHES "^.$")
  message(FATAL_ERROR "RAVELIN_LANGUAGE must be one character, got '${RAVELIN_LANGUAGE}'")
endif()

# Hosts go into C string literals and URLs: no quotes, blanks or controls.
foreach(var RAVELIN_GAME_HOST_TR RAVELIN_GAME_HOST_BR RAVELIN_GAME_HOST_AR RAVELIN_GAME_HOST_PL
            RAVELIN_DOWNLOAD_HOST RAVELIN_UDP_ECHO_ADDRESS)
  if(NOT ${var} MATCHES "^[A-Za-z0-9.:_-]+$")
    message(FATAL_ERROR "${var} must be a host name or address (with an optional :port), got '${${var}}'")
  endif()
endforeach()
if(NOT RAVELIN_UDP_ECHO_ADDRESS MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "RAVELIN_UDP_ECHO_ADDRESS must be a dotted IPv4 address")
endif()

list(LENGTH RAVELIN_PUBLIC_SITES _sites)
if(NOT _sites EQUAL 4)
  message(FATAL_ERROR "RAVELIN_PUBLIC_SITES needs four host names, got '${RAVELIN_PUBLIC_SITES}'")
endif()
set(_i 0)
foreach(site IN LISTS RAVELIN_PUBLIC_SITES)
  math(EXPR _i "${_i} + 1")
  if(NOT site MATCHES "^[A-Za-z0-9._-]+$")
    message(FATAL_ERROR "RAVELIN_PUBLIC_SITES: '${site}' is not a host name")
  endif()
  set(RAVELIN_PUBLIC_SITE_${_i} "${site}")
endforeach()

# Server lists: exactly three "address+host" entries, joined by a carriage
# return in the program.
foreach(n 1 2)
  set(_list "${RAVELIN_SERVER_LIST_${n}}")
  list(LENGTH _list _count)
  if(NOT _count EQUAL 3)
    message(FATAL_ERROR "RAVELIN_SERVER_LIST_${n} needs three entries, got '${_list}'")
  endif()
  foreach(entry IN LISTS _list)
    if(NOT entry MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+\\+[A-Za-z0-9._-]+$")
      message(FATAL_ERROR "RAVELIN_SERVER_LIST_${n}: '${entry}' is not address+host")
    endif()
  endforeach()
  string(REPLACE ";" "\\r" RAVELIN_SERVER_LIST_${n}_TEXT "${_list}")
endforeach()

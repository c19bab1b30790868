# The public key whose signatures a downloaded build must carry before the
# launcher installs it. A release points RAVELIN_UPDATE_PUBLIC_KEY_FILE at the
# operator's key; without it every build folder makes a key pair of its own
# (update-key/ in the build folder, never committed), so every preset builds
# from a fresh clone and the local stand-in service signs what it serves with
# the private half.
#
# Sets RAVELIN_UPDATE_PUBLIC_KEY_BYTES (the point's X and Y as a C initialiser
# list) and RAVELIN_UPDATE_PRIVATE_KEY_FILE (empty for an operator's key).

set(RAVELIN_UPDATE_PUBLIC_KEY_FILE "" CACHE FILEPATH
    "PEM file with the P-256 public key (SubjectPublicKeyInfo) that signs update builds; empty: a key pair of this build folder")

find_program(RAVELIN_OPENSSL openssl)
if(NOT RAVELIN_OPENSSL)
  message(FATAL_ERROR "openssl is needed to read the update key (Debian package openssl; scripts/setup installs it)")
endif()

set(_key_dir ${CMAKE_BINARY_DIR}/update-key)
file(MAKE_DIRECTORY ${_key_dir})
set(RAVELIN_UPDATE_PRIVATE_KEY_FILE "")
if(RAVELIN_UPDATE_PUBLIC_KEY_FILE STREQUAL "")
  set(_public ${_key_dir}/public.pem)
  set(RAVELIN_UPDATE_PRIVATE_KEY_FILE ${_key_dir}/private.pem)
  if(NOT EXISTS ${_public} OR NOT EXISTS ${RAVELIN_UPDATE_PRIVATE_KEY_FILE})
    execute_process(
      COMMAND ${RAVELIN_OPENSSL} ecparam -name prime256v1 -genkey -noout -out ${RAVELIN_UPDATE_PRIVATE_KEY_FILE}
      COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${RAVELIN_OPENSSL} ec -in ${RAVELIN_UPDATE_PRIVATE_KEY_FILE} -pubout -out ${_public}
                    ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS "Update signing: made this build folder's own key pair in ${_key_dir}")
  endif()
else()
  get_filename_component(_public "${RAVELIN_UPDATE_PUBLIC_KEY_FILE}" ABSOLUTE)
  if(NOT EXISTS "${_public}")
    message(FATAL_ERROR "RAVELIN_UPDATE_PUBLIC_KEY_FILE: no such file: ${_public}")
  endif()
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_public}")

# A P-256 SubjectPublicKeyInfo is 91 bytes of DER: a fixed 27-byte head
# (id-ecPublicKey, prime256v1, an uncompressed point) and the point's X and Y.
set(_der ${_key_dir}/public.der)
file(REMOVE ${_der})
execute_process(COMMAND ${RAVELIN_OPENSSL} pkey -pubin -in "${_public}" -outform DER -out ${_der}
                RESULT_VARIABLE _status OUTPUT_QUIET ERROR_QUIET)
set(_hex "")
if(_status EQUAL 0 AND EXISTS ${_der})
  file(READ ${_der} _hex HEX)
endif()
string(LENGTH "${_hex}" _length)
if(NOT _length EQUAL 182 OR NOT _hex MATCHES "^3059301306072a8648ce3d020106082a8648ce3d03010703420004")
  message(FATAL_ERROR "RAVELIN_UPDATE_PUBLIC_KEY_FILE: ${_public} is not a PEM \"PUBLIC KEY\" of a P-256 "
                      "(prime256v1) key; make one with: openssl ec -in private.pem -pubout -out public.pem")
endif()
string(SUBSTRING "${_hex}" 54 128 _point)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," RAVELIN_UPDATE_PUBLIC_KEY_BYTES "${_point}")

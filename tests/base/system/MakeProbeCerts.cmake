# cmake -DOPENSSL=<openssl> -DOUT=<dir> -P MakeProbeCerts.cmake
# Makes self-signed certificates that differ in key usage and serial number,
# and writes them as byte arrays to OUT/ProbeTestCerts.h.
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${OPENSSL} genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256
                        -out ${OUT}/key.pem
                RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "openssl genpkey failed")
endif()

# name serial key-usage ("" for none)
set(_specs
  "DigitalSignature|0x0a1b2c3d|digitalSignature"
  "DataEnciphermentOnly|0x11|dataEncipherment"
  "NoKeyUsage|0x8001|none"
  "KeyEnciphermentOnly|0x22|keyEncipherment"
  "SignatureAndEncipherment|0x33|digitalSignature,dataEncipherment")
set(_header "// Made by MakeProbeCerts.cmake.\n#pragma once\n#include <vector>\n\n")
foreach(_spec ${_specs})
  string(REPLACE "|" ";" _parts "${_spec}")
  list(GET _parts 0 _name)
  list(GET _parts 1 _serial)
  list(GET _parts 2 _usage)
  set(_ext)
  if(NOT _usage STREQUAL "none")
    set(_ext -addext "keyUsage=${_usage}")
  endif()
  execute_process(COMMAND ${OPENSSL} req -x509 -new -key ${OUT}/key.pem -subj /CN=${_name}
                          -days 3650 -set_serial ${_serial} ${_ext} -outform DER
                          -out ${OUT}/${_name}.der
                  RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "openssl req failed for ${_name}")
  endif()
  file(READ ${OUT}/${_name}.der _hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  string(APPEND _header "static const std::vector<unsigned char> kCert${_name} = {${_bytes}};\n")
endforeach()
file(WRITE ${OUT}/ProbeTestCerts.h.tmp "${_header}")
file(RENAME ${OUT}/ProbeTestCerts.h.tmp ${OUT}/ProbeTestCerts.h)

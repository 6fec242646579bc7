cmake_minimum_required(VERSION 3.20)
# The device program imports only calls that Windows CE 5.0 offers: every function it imports
# from the system (beyond what the toolchain's start-up code and C runtime import) is in the list.
# A desktop's forms fail it: GetWindowLongPtrW and SetWindowLongPtrW are not in the list, and its
# entry point must be the device's WinMain, not a desktop's wWinMain.
#   cmake -DOBJDUMP=... -DPROGRAM=tessaron_device.exe -DSTARTUP=startup_only.exe
#         -DLIST=platform/device/ce50_calls.txt -P imports.cmake

# The functions a program imports from each DLL other than the C runtime.
function(imports_of program result)
  execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${program}")
  endif()
  string(REPLACE "\n" ";" lines "${dump}")
  set(names "")
  set(dll "")
  foreach(line IN LISTS lines)
    if(line MATCHES "DLL Name: (.+)$")
      string(TOLOWER "${CMAKE_MATCH_1}" dll)
    elseif(NOT dll STREQUAL "" AND NOT dll MATCHES "^msvcr" AND
           line MATCHES "^\t[0-9a-f]+\t +[0-9]+  ([A-Za-z_][A-Za-z0-9_@]*)$")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES names)
  set(${result} "${names}" PARENT_SCOPE)
endfunction()

imports_of(${PROGRAM} program)
imports_of(${STARTUP} startup)
file(STRINGS ${LIST} offered REGEX "^[A-Za-z]")
list(LENGTH program count)
if(count EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} imports nothing: the imports were not read")
endif()
execute_process(COMMAND ${OBJDUMP} -t ${PROGRAM} OUTPUT_VARIABLE symbols)
if(symbols MATCHES "[ _]wWinMain(@|\n)" OR NOT symbols MATCHES "[ _]WinMain(@|\n)")
  message(FATAL_ERROR "${PROGRAM} is entered by a desktop's wWinMain, not by the device's WinMain")
endif()
set(missing "")
foreach(name IN LISTS program)
  if(NOT name IN_LIST startup AND NOT name IN_LIST offered)
    list(APPEND missing ${name})
  endif()
endforeach()
if(missing)
  list(JOIN missing " " missing)
  message(FATAL_ERROR "${PROGRAM} imports calls that Windows CE 5.0 does not offer: ${missing}")
endif()
message(STATUS "${PROGRAM}: ${count} imported calls, all offered by Windows CE 5.0 or the start-up code")

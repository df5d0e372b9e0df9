# Builds vesk's objects into one object whose writable data lives in two
# sections of its own, vesk_data and vesk_bss, so that the simulator's host
# can give every new vesk process its globals as the image declares them,
# whatever globals src/ has. Writable data of any other kind fails the build
# rather than escaping the reset.
#   cmake -DLD=... -DOBJCOPY=... -DREADELF=... -DOUT=... -DOBJECTS="a.o;b.o" -P fresh_globals.cmake
set(merged ${OUT}.merged.o)
execute_process(COMMAND ${LD} -r -o ${merged} ${OBJECTS} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot link vesk's objects into one: ${err}")
endif()
execute_process(COMMAND ${READELF} -SW ${merged} OUTPUT_VARIABLE sections RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list the sections of ${merged}")
endif()

set(renames)
string(REPLACE "\n" ";" lines "${sections}")
foreach(line IN LISTS lines)
  # "  [ 3] .data  PROGBITS  0000000000000000 000040 000010 00  WA  0   0  8"
  if(NOT line MATCHES "^ *\\[ *[0-9]+\\] +([^ ]+) +([A-Z_]+) +[0-9a-f]+ +[0-9a-f]+ +[0-9a-f]+ +[0-9a-f]+ +([A-Za-z]*) ")
    continue()
  endif()
  set(name ${CMAKE_MATCH_1})
  set(type ${CMAKE_MATCH_2})
  set(flags ${CMAKE_MATCH_3})
  if(NOT flags MATCHES "W" OR NOT flags MATCHES "A")
    continue()
  endif()
  if(name MATCHES "^\\.data\\.rel\\.ro" OR name MATCHES "^\\.(init|fini|preinit)_array"
     OR name MATCHES "^(__sancov|asan_globals|__llvm)")
    continue()  # read-only after start-up, or the instrumentation's own
  endif()
  if(name MATCHES "^\\.t(data|bss)")
    message(FATAL_ERROR "vesk has thread-local data (${name}), which a new process would not get fresh")
  endif()
  if(type STREQUAL "NOBITS" AND name MATCHES "^\\.bss(\\.|$)")
    list(APPEND renames ${name}=vesk_bss)
  elseif(type STREQUAL "PROGBITS" AND name MATCHES "^\\.data(\\.|$)")
    list(APPEND renames ${name}=vesk_data)
  else()
    message(FATAL_ERROR "vesk keeps writable data in section ${name} (${type}), which a new process would not get fresh")
  endif()
endforeach()
list(REMOVE_DUPLICATES renames)
set(args)
foreach(rename IN LISTS renames)
  list(APPEND args --rename-section ${rename})
endforeach()
execute_process(COMMAND ${OBJCOPY} ${args} ${merged} ${OUT} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot move vesk's globals into their sections: ${err}")
endif()
file(REMOVE ${merged})

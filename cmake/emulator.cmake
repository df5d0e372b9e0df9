# In a cross build (preset arm) the programs that tests start themselves run
# under the emulator: vesk_emulated(VAR target) sets VAR to a command that
# runs the target's program, a wrapper script through CMAKE_CROSSCOMPILING_EMULATOR
# there, the program itself in any other build. (ctest and
# gtest_discover_tests put the emulator before the test programs of their own.)
function(vesk_emulated var target)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(${var} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
    return()
  endif()
  set(wrapper ${CMAKE_CURRENT_BINARY_DIR}/${target}-emulated)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR "\" \"" emulator)
  file(GENERATE OUTPUT ${wrapper}
    CONTENT "#!/bin/sh\nexec \"${emulator}\" \"$<TARGET_FILE:${target}>\" \"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(${var} ${wrapper} PARENT_SCOPE)
endfunction()

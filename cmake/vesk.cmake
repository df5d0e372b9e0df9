# What every build of vesk shares: the one list of vesk's sources and the
# warnings that our own targets are held to. Included by the simulator build,
# the desktop Windows build and the Windows CE build.
get_filename_component(VESK_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

set(VESK_SOURCES
  ${VESK_ROOT}/src/app/main.cpp
  ${VESK_ROOT}/src/app/metrics.cpp
  ${VESK_ROOT}/src/app/wndproc.cpp
  ${VESK_ROOT}/src/button/paint.cpp
  ${VESK_ROOT}/src/button/pen.cpp
  ${VESK_ROOT}/src/tasks/actions.cpp
  ${VESK_ROOT}/src/tasks/entry.cpp
  ${VESK_ROOT}/src/tasks/items.cpp
  ${VESK_ROOT}/src/tasks/menu.cpp)
set(VESK_INCLUDE_DIRS ${VESK_ROOT}/src ${VESK_ROOT}/res)
set(VESK_RC ${VESK_ROOT}/res/vesk.rc)

# Warnings are errors on every target we own.
function(vesk_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Compiles vesk.rc into OUTPUT, the one .res that the simulator loads and the
# Windows CE build links: WINDRES is Debian's windres, PREPROCESSOR the
# host's C compiler (no cross compiler is needed).
function(vesk_compile_rc output windres preprocessor)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${windres} --preprocessor=${preprocessor}
            --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
            -O res -I ${VESK_ROOT}/res -i ${VESK_ROOT}/res/vesk.rc -o ${output}
    DEPENDS ${VESK_ROOT}/res/vesk.rc ${VESK_ROOT}/res/resource.h ${VESK_ROOT}/res/app.ico ${VESK_ROOT}/res/close.ico
    WORKING_DIRECTORY ${VESK_ROOT}/res
    COMMENT "Compiling vesk.rc"
    VERBATIM)
endfunction()

# Helpers shared by every folder's CMakeLists.txt.

# The environment every test runs in: no display, no GPU, no sound card.
set(Q_TEST_ENVIRONMENT
  QT_QPA_PLATFORM=offscreen
  ALSOFT_DRIVERS=null
  EGL_PLATFORM=surfaceless
  LIBGL_ALWAYS_SOFTWARE=1
  LC_ALL=C.UTF-8)
# The sanitizer build: every report fails its test, except leaks inside the system's own
# libraries listed (with their reasons) in scripts/lsan.supp.
if(Q_SANITIZE)
  list(APPEND Q_TEST_ENVIRONMENT
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
    # Quoted: the sanitizers split their options at blanks as well as at colons.
    LSAN_OPTIONS=suppressions='${CMAKE_SOURCE_DIR}/scripts/lsan.supp':print_suppressions=0
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)
endif()

# Tests under a real X server run through scripts/xvfb_run: a server of their
# own per run, on a display the server chooses, ready before the first client.
find_program(Q_XVFB Xvfb)
find_program(Q_XAUTH xauth)
if(Q_XVFB AND Q_XAUTH)
  set(Q_XVFB_RUN ${CMAKE_SOURCE_DIR}/scripts/xvfb_run)
else()
  set(Q_XVFB_RUN "")
  message(STATUS "Xvfb or xauth missing: the tests under X are left out")
endif()

# q_add_test(NAME <exe> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable per library, registered with CTest. Tests find
# their fixtures through Q_TEST_SOURCE_DIR and write into Q_TEST_TMP_DIR.
function(q_add_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(Q_FUZZ)
    return()  # the fuzz build makes only the fuzz targets
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${ARG_NAME} PRIVATE
    Q_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    Q_TEST_TMP_DIR="${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}.tmp")
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
  set_tests_properties(${ARG_NAME} PROPERTIES
    ENVIRONMENT "${Q_TEST_ENVIRONMENT};XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/xdg-runtime"
    TIMEOUT 600)
endfunction()

# q_append_line_table(<target>)
# Appends the line-number table (tools/qlinetable) to a program after every
# link, so that its crash reports name source files and lines.
function(q_append_line_table aTarget)
  if(TARGET qlinetable)
    add_custom_command(TARGET ${aTarget} POST_BUILD
      COMMAND qlinetable $<TARGET_FILE:${aTarget}>
      VERBATIM)
  endif()
endfunction()

# Compiler warnings and sanitizers shared by every target of the tree.
add_compile_options(-Wall -Wextra -Wpedantic)
if(KESTRIX_WERROR)
  add_compile_options(-Werror)
endif()

if(KESTRIX_SANITIZE)
  add_compile_options(-fsanitize=${KESTRIX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KESTRIX_SANITIZE})
  # The sanitizers' instrumentation makes g++ see uninitialised reads inside
  # the standard library (<regex>, <optional>) that are not there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
    # ...and, under ThreadSanitizer, a use after free inside std::stop_token's
    # own reference counting (the thread lambdas that take a stop token).
    add_compile_options(-Wno-use-after-free)
  endif()
endif()

# kx_add_test(NAME name SOURCES ... LIBS ... LABELS ... [TIMEOUT s])
# One GoogleTest executable per subsystem, registered with CTest as a whole.
function(kx_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
endfunction()

# kx_folder_include(target)
# Puts the folder of the calling CMakeLists.txt on the include path of
# `target` through a directory of its own in the build tree (a link to the
# folder), so includes keep reading "store/sql_management.h" while a target
# sees only its own folder and the folders of the libraries it links: an
# include of a layer the target does not depend on fails to compile.
# Libraries publish their folder to whoever links them.
function(kx_folder_include target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" key "${folder}")
  set(view ${PROJECT_BINARY_DIR}/include/${key})
  set(link ${view}/${folder})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  set(current "")
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} current)
  endif()
  if(NOT current STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    file(REMOVE ${link})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${link} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${view})
  else()
    target_include_directories(${target} PUBLIC ${view})
  endif()
endfunction()

# kx_add_gui_test(NAME name SOURCES ... LIBS ... [LABELS ...] [PORTS])
# One Qt Test executable, offscreen, with the bundle and the render folder
# known to it. PORTS: it binds the device ports.
function(kx_add_gui_test)
  cmake_parse_arguments(G "PORTS" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${G_NAME} ${G_SOURCES})
  target_link_libraries(${G_NAME} PRIVATE ${G_LIBS} Qt6::Test)
  target_compile_definitions(${G_NAME} PRIVATE
    KX_BUNDLE_DIR="${KESTRIX_BUNDLE_DIR}"
    KX_RENDER_DIR="${CMAKE_BINARY_DIR}/renders")
  add_dependencies(${G_NAME} kx_bundle_resources)
  add_test(NAME ${G_NAME} COMMAND ${G_NAME})
  if(NOT G_LABELS)
    set(G_LABELS gui)
  endif()
  set_tests_properties(${G_NAME} PROPERTIES
    LABELS "${G_LABELS}" TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(G_PORTS)
    set_tests_properties(${G_NAME} PROPERTIES RESOURCE_LOCK kestrix_ports)
  endif()
endfunction()

# The Oravane filter module: the filter and its pin (a static target the tests also link), the
# module with its four entry points, and the registration tool.
add_library(filter_oravane STATIC CaptureSource.cpp CaptureStream.cpp)
target_include_directories(filter_oravane PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(filter_oravane PUBLIC filter_grabber platform_dshow platform_com)

add_library(Oravane MODULE OravaneModule.cpp)
target_link_libraries(Oravane PRIVATE filter_oravane)
# Only the entry points leave the module: its copy of the runtime and base classes stays its own.
set_target_properties(Oravane PROPERTIES
  PREFIX ""
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LIBRARY_OUTPUT_DIRECTORY ${VANTOREL_PROGRAM_DIR})
target_link_options(Oravane PRIVATE -Wl,--exclude-libs,ALL -Wl,-Bsymbolic -Wl,--no-undefined)

add_executable(vantorel-regsvr RegSvr.cpp)
target_link_libraries(vantorel-regsvr PRIVATE platform_com)
set_target_properties(vantorel-regsvr PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VANTOREL_PROGRAM_DIR})

# Installed into the program folder, where the program registers the module at start.
install(TARGETS Oravane LIBRARY DESTINATION ${VANTOREL_INSTALL_PROGRAM_DIR})
install(TARGETS vantorel-regsvr RUNTIME DESTINATION ${VANTOREL_INSTALL_PROGRAM_DIR})

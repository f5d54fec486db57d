vantorel_gtest(test_oravane_units LABEL unit
  SOURCES CaptureStreamTest.cpp OravaneModuleTest.cpp
  LIBS filter_oravane dshow_test_support ${CMAKE_DL_LIBS})
target_compile_definitions(test_oravane_units PRIVATE
  ORAVANE_MODULE="$<TARGET_FILE:Oravane>" REGSVR_TOOL="$<TARGET_FILE:vantorel-regsvr>")
add_dependencies(test_oravane_units Oravane vantorel-regsvr)

vantorel_gtest(test_oravane_graph LABEL integration
  SOURCES CaptureGraphTest.cpp
  LIBS platform_dshow dshow_test_support screen_test_support ${CMAKE_DL_LIBS}
  RESOURCE_LOCK ${VANTOREL_HEAVY_LOCK})
target_compile_definitions(test_oravane_graph PRIVATE ORAVANE_MODULE="$<TARGET_FILE:Oravane>")
add_dependencies(test_oravane_graph Oravane)

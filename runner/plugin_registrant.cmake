# The list of the application's native plug-ins, which the host window runs for its engine.
add_library(runner_plugin_registrant STATIC ${CMAKE_CURRENT_LIST_DIR}/plugin_registrant.cc)
target_include_directories(runner_plugin_registrant PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(runner_plugin_registrant
  PUBLIC nimbus_core_plugin permissions_windows_plugin link_opener_windows_plugin)
tervala_warnings(runner_plugin_registrant)

tervala_add_test(plugin_registrant_tests CONCURRENT
  SOURCES tests/plugin_registrant_test.cc
  LIBS runner_plugin_registrant plugin_relay_engine
)

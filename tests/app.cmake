# window tests: Qt Test programs on the offscreen platform.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

function(vardis_add_window_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE vardis_window ${T_LIBS} Qt6::Test Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                                          TIMEOUT ${T_TIMEOUT} LABELS window)
endfunction()

vardis_add_window_test(app_window_test SOURCES app_window_test.cpp)
vardis_add_window_test(app_options_test SOURCES app_options_test.cpp)
if(TARGET vardis_sim)
  vardis_add_window_test(app_busy_test SOURCES app_busy_test.cpp LIBS vardis_sim)
  vardis_add_window_test(app_demo_test SOURCES app_demo_test.cpp)
  vardis_add_window_test(app_chart_test SOURCES app_chart_test.cpp LIBS vardis_sim TIMEOUT 180)
endif()

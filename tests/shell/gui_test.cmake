# Shared by the gui and gl tests that need a QApplication: the support
# library (a main that creates the QApplication as the program does, and
# scripted dialogs) and orvanel_gui_test(). Include it from any tests folder.
include_guard(GLOBAL)
find_package(Qt6 REQUIRED COMPONENTS Widgets)

set(ORVANEL_GUI_TEST_SUPPORT_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(orvanel_gui_test_support STATIC
  ${ORVANEL_GUI_TEST_SUPPORT_DIR}/gui_test_support.cpp
  ${ORVANEL_GUI_TEST_SUPPORT_DIR}/gui_test_support.h)
target_include_directories(orvanel_gui_test_support PUBLIC ${ORVANEL_GUI_TEST_SUPPORT_DIR})
target_compile_definitions(orvanel_gui_test_support PRIVATE ORVANEL_TEST_DATA="${ORVANEL_TEST_DATA}"
                                                           ORVANEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(orvanel_gui_test_support PUBLIC orvanel_app GTest::gtest Qt6::Widgets)

# orvanel_gui_test(name SOURCES ... [LABEL gui|gl]): a gtest program with the
# support main; its tests are listed when ctest runs (under a display).
function(orvanel_gui_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL gui)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE orvanel_gui_test_support)
  target_compile_definitions(${name} PRIVATE ORVANEL_TEST_DATA="${ORVANEL_TEST_DATA}"
                                             ORVANEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name} PROPERTIES LABELS ${T_LABEL} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE PRE_TEST)
endfunction()

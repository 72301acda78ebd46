# quandrel_add_test(NAME LABEL unit|x11|sway|gnome|portal|kwin [QT] SOURCES ... LIBS ...)
#
# QT gives the test a Qt application object and a private home folder (tests/support/QtTestMain.cpp).
# Unit tests run without any display (QT_QPA_PLATFORM=offscreen); x11 tests run only on the
# private virtual desktop that tools/test.sh starts, one at a time because they share it; sway
# tests likewise in the private headless sway of tools/sway-desktop.sh.
function(quandrel_add_test name)
    cmake_parse_arguments(T "QT" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT T_LABEL)
        set(T_LABEL unit)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    add_executable(${name} ${T_SOURCES})
    if(T_QT)
        target_link_libraries(${name} PRIVATE ${T_LIBS} QuandrelQtTestMain GTest::gtest GTest::gmock)
    else()
        target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    endif()
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT})
    if(T_LABEL STREQUAL "x11" OR T_LABEL STREQUAL "sway" OR T_LABEL STREQUAL "gnome" OR T_LABEL STREQUAL "portal" OR T_LABEL STREQUAL "kwin")
        set_tests_properties(${name} PROPERTIES RUN_SERIAL ON)
    else()
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
endfunction()

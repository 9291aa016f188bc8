# Every target of the project builds with the same strict warnings.
function(olstrin_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    # GCC 12 reports false -Wrestrict overlaps inside std::string at -O3 (GCC bug 105329).
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
endfunction()

# A layer library: olstrin_add_layer(NAME SOURCES... DEPS ...).
function(olstrin_add_layer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    olstrin_warnings(${name})
endfunction()

# A GoogleTest suite registered with CTest: olstrin_add_test(NAME SOURCES... DEPS ... [LABELS ...]).
function(olstrin_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
    target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
    olstrin_warnings(${name})
    include(GoogleTest)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()

# Adds every folder that matches the glob and has a CMakeLists.txt (a macro, so the folders see
# the caller's variables).
macro(olstrin_add_subdirectories glob)
    file(GLOB olstrin_subdirs LIST_DIRECTORIES true "${glob}")
    foreach(olstrin_subdir ${olstrin_subdirs})
        if(EXISTS "${olstrin_subdir}/CMakeLists.txt")
            add_subdirectory(${olstrin_subdir})
        endif()
    endforeach()
endmacro()

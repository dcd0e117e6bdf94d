# One interface target carries the warnings and definitions for everything we build.
add_library(quillory_options INTERFACE)
target_compile_options(quillory_options INTERFACE
    -Wall -Wextra -Wnon-virtual-dtor -Woverloaded-virtual
    $<$<BOOL:${QUILLORY_WERROR}>:-Werror>)
# g++ 12 at -O3 reports overlapping copies inside std::string that cannot happen (its bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(quillory_options INTERFACE -Wno-restrict)
endif()
target_include_directories(quillory_options INTERFACE ${CMAKE_SOURCE_DIR})
# The database's thread check stays in the optimised build the tests run; the package drops it.
if(QUILLORY_DB_OWNER_CHECK)
    target_compile_definitions(quillory_options INTERFACE QUILLORY_DB_OWNER_CHECK)
endif()

if(QUILLORY_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(QUILLORY_TSAN)
    if(QUILLORY_SANITIZE)
        message(FATAL_ERROR "QUILLORY_TSAN and QUILLORY_SANITIZE cannot be combined")
    endif()
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(QUILLORY_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "QUILLORY_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    # The core is instrumented for coverage; only the fuzz targets link the libFuzzer main.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# Adds a core library from every source in the current folder, linked to DEPS.
function(quillory_core_library name)
    cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC quillory_options ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# Adds one test executable from every source in the current folder, registered with CTest.
function(quillory_test name)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE quillory_options quillory_test_support ${ARG_DEPS}
        GTest::gtest GTest::gmock GTest::gtest_main)
    # Labelled with the executable's name, so that a stage can pick modules with `ctest -L`.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS ${name})
endfunction()

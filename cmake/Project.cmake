# Compiler flags and the helpers every folder uses to declare programs and tests.

if(WIN32)
  # Small static binaries: no shared runtime DLLs beside the programs.
  add_compile_options(-Os -ffunction-sections -fdata-sections -Wall -Wextra)
  add_link_options(-static -s -Wl,--gc-sections)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
else()
  add_compile_options(-Wall -Wextra)
  if(VELLUMO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
  # The fuzzing configuration (tests/fuzz): every portable library carries coverage
  # instrumentation and the sanitizers; only the fuzz targets link libFuzzer's driver.
  if(VELLUMO_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer -g)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# vellumo_add_gtest(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [WORKING_DIRECTORY dir] [TIMEOUT s])
# One test binary is one CTest test: starting Wine per test case costs seconds each.
function(vellumo_add_gtest name)
  cmake_parse_arguments(T "" "WORKING_DIRECTORY;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
  if(NOT T_WORKING_DIRECTORY)
    set(T_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no WORKING_DIRECTORY ${T_WORKING_DIRECTORY})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "VELLUMO_SOURCE_DIR=${CMAKE_SOURCE_DIR};VELLUMO_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# vellumo_folder_library(NAME DIR LIBS...)
# A static library of every .cpp in DIR (not recursive), so adding a source file needs no
# CMake edit. A folder with no sources yet gives an empty interface library of the same name.
function(vellumo_folder_library name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC vellumo_common ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE vellumo_common ${ARGN})
  endif()
endfunction()

# Resource scripts of a folder, for programs to list among their sources (resources in a
# static library would be dropped by the linker).
function(vellumo_folder_resources out dir)
  file(GLOB rc CONFIGURE_DEPENDS ${dir}/*.rc)
  set(${out} ${rc} PARENT_SCOPE)
endfunction()

# zlib: Debian's static mingw zlib for Windows, the system one natively.
if(WIN32)
  find_library(VELLUMO_ZLIB NAMES libz.a z REQUIRED)
  find_path(VELLUMO_ZLIB_INCLUDE zlib.h REQUIRED)
  add_library(vellumo_zlib INTERFACE)
  target_link_libraries(vellumo_zlib INTERFACE ${VELLUMO_ZLIB})
  target_include_directories(vellumo_zlib INTERFACE ${VELLUMO_ZLIB_INCLUDE})
else()
  find_package(ZLIB REQUIRED)
  add_library(vellumo_zlib INTERFACE)
  target_link_libraries(vellumo_zlib INTERFACE ZLIB::ZLIB)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/libdeflate.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/bzip2.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/liblzma.cmake)

# WinZip AES's cryptography: Windows CNG in the DLL, nettle natively.
if(WIN32)
  add_library(vellumo_crypto INTERFACE)
  target_link_libraries(vellumo_crypto INTERFACE bcrypt)
else()
  find_library(VELLUMO_NETTLE_LIBRARY NAMES nettle REQUIRED)
  add_library(vellumo_crypto INTERFACE)
  target_link_libraries(vellumo_crypto INTERFACE ${VELLUMO_NETTLE_LIBRARY})
endif()

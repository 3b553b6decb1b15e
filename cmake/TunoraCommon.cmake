# Settings shared by every target of the project, carried by one INTERFACE target.

set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTOUIC ON)
set(CMAKE_AUTORCC ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

# Rebuilds of the same sources (other build trees, CI on a developer's machine) come from the cache.
find_program(TUNORA_CCACHE ccache)
if(TUNORA_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_C_COMPILER_LAUNCHER ${TUNORA_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${TUNORA_CCACHE})
endif()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

option(TUNORA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TUNORA_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
option(TUNORA_TSAN "Build with ThreadSanitizer (not together with TUNORA_SANITIZE)" OFF)
# Warnings as errors: the CI configuration turns it on (scripts/test); users' builds keep going on
# a warning a newer compiler may bring.
option(TUNORA_WERROR "Treat compiler warnings as errors" OFF)

add_library(tunora_common INTERFACE)
target_compile_options(tunora_common INTERFACE -Wall -Wextra)
if(TUNORA_WERROR)
  target_compile_options(tunora_common INTERFACE -Werror)
endif()
target_compile_definitions(tunora_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_USE_QSTRINGBUILDER)

if(TUNORA_FUZZ)
  # Instrument every library for coverage, so that libFuzzer sees more than the harness itself.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(TUNORA_SANITIZE OR TUNORA_FUZZ)
  set(_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  # Applied globally so that every object, static library and test agrees on the runtime.
  add_compile_options(${_san})
  add_link_options(${_san})
endif()

if(TUNORA_TSAN)
  if(TUNORA_SANITIZE OR TUNORA_FUZZ)
    message(FATAL_ERROR "TUNORA_TSAN cannot be combined with TUNORA_SANITIZE or TUNORA_FUZZ")
  endif()
  set(_tsan -fsanitize=thread -fno-omit-frame-pointer)
  add_compile_options(${_tsan})
  add_link_options(${_tsan})
endif()

# Declares one static library of the layout, linked with the shared settings.
#   tunora_library(<target> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
function(tunora_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC tunora_common ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

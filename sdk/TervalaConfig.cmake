# The Tervala SDK's CMake package. A project that says
#
#   find_package(Tervala CONFIG REQUIRED)
#
# gets tervala_add_plugin, tervala_add_bundle and tervala_add_app, the same functions as in the
# Tervala tree (TervalaApp.cmake beside this file), over the SDK's imported targets
# (Tervala::engine, Tervala::host, Tervala::core_plugin, Tervala::bundle_codec, ...). The C++
# embedding client is compiled from its sources, by the project's own compiler, into the
# static library Tervala::embedding_client that its plug-ins and programs link.
include(CMakeFindDependencyMacro)
get_filename_component(_tervala_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
include("${CMAKE_CURRENT_LIST_DIR}/TervalaTargets.cmake")

if(NOT CMAKE_SYSTEM_NAME STREQUAL _tervala_sdk_system)
  set(Tervala_FOUND FALSE)
  set(Tervala_NOT_FOUND_MESSAGE "this Tervala SDK (${CMAKE_CURRENT_LIST_DIR}) is for "
      "${_tervala_sdk_system}, the build is for ${CMAKE_SYSTEM_NAME}")
  return()
endif()

# What the host's static libraries were linked with.
find_dependency(Threads)
foreach(_tervala_package IN LISTS _tervala_sdk_packages)
  if(_tervala_package STREQUAL "FlatBuffers")
    find_dependency(FlatBuffers CONFIG)
  elseif(NOT _tervala_package STREQUAL "Threads")
    find_dependency(${_tervala_package})
  endif()
endforeach()

if(NOT TARGET Tervala::host)
  _tervala_define_targets()
  set(_tervala_client_sources)
  foreach(_tervala_source IN LISTS _tervala_sdk_client_sources)
    list(APPEND _tervala_client_sources "${_tervala_prefix}/share/tervala/sources/${_tervala_source}")
  endforeach()
  add_library(tervala_embedding_client STATIC EXCLUDE_FROM_ALL ${_tervala_client_sources})
  target_link_libraries(tervala_embedding_client PUBLIC Tervala::engine)
  target_compile_features(tervala_embedding_client PUBLIC cxx_std_20)
  # Linked into plug-ins, which are shared libraries.
  set_target_properties(tervala_embedding_client PROPERTIES POSITION_INDEPENDENT_CODE ON)
  add_library(Tervala::embedding_client ALIAS tervala_embedding_client)
endif()

set(TERVALA_RUNNER_SOURCE_DIR "${_tervala_prefix}/share/tervala/runner")
include("${CMAKE_CURRENT_LIST_DIR}/TervalaApp.cmake")

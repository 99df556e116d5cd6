# Settings of the Windows build (MinGW-w64 here; MSVC-ready where it costs nothing).

# The Win32 API in its wide-character form, and <windows.h> without its min/max macros.
# Windows 10 is the oldest system the program supports (its manifest says so too).
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00
                        WINVER=0x0A00)

# DLLs carry their plain names (vela_windows.dll, not libvela_windows.dll), as the engine
# vendor and the plug-in authors ship them.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_SHARED_MODULE_PREFIX "")

# The program, its DLLs and its tools in one folder that runs as it is.
set(TERVALA_WINDOWS_BIN "${PROJECT_BINARY_DIR}/bin")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${TERVALA_WINDOWS_BIN}")
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY "${TERVALA_WINDOWS_BIN}")

# Test programs run under Wine when CTest starts them here (scripts/test-windows.sh).
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/scripts/wine.sh")
endif()

if(MINGW)
  # The C99 printf family (%zu, %lld) instead of the old system runtime's.
  add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

  # The MinGW runtime DLLs the programs need (TERVALA_MINGW_RUNTIME_DLLS, found by
  # cmake/TervalaApp.cmake), copied beside them.
  add_custom_target(tervala_mingw_runtime ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory "${TERVALA_WINDOWS_BIN}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TERVALA_MINGW_RUNTIME_DLLS}
            "${TERVALA_WINDOWS_BIN}"
    COMMENT "Copying the MinGW-w64 runtime DLLs"
    VERBATIM)
endif()

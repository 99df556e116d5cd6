# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain (the POSIX thread model,
# which gives std::thread and std::mutex). Libraries are looked up only in the toolchain's
# own tree and in the dependency prefix that scripts/build-windows.sh builds; programs
# (flatc) come from the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TERVALA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TERVALA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TERVALA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TERVALA_MINGW_TRIPLE}-windres)

# The dependency prefix lies in the source tree's build folder, beside the build itself.
get_filename_component(TERVALA_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../../build/windows-deps"
                       ABSOLUTE)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TERVALA_MINGW_TRIPLE} ${TERVALA_WINDOWS_DEPS})
# In the Windows SDK this file lies in the SDK's cmake/toolchains/: packages are looked up in
# the SDK too, so that find_package(Tervala) finds it there.
get_filename_component(TERVALA_SDK_ROOT "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
if(EXISTS "${TERVALA_SDK_ROOT}/lib/cmake/Tervala/TervalaConfig.cmake")
  list(APPEND CMAKE_FIND_ROOT_PATH ${TERVALA_SDK_ROOT})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

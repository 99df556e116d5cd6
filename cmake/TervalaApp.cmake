# The three ways to build on the host: a native plug-in, an application bundle, and an app
# (the host program with its plug-ins and its bundle, in a folder that runs as it is).
#
#   tervala_add_plugin(<target> REGISTER <function> [REGISTRAR_NAME <name>] [HEADER <header>]
#                      SOURCES ...)
#   tervala_add_bundle(<target> SOURCES ...)
#   tervala_add_app(<name> BUNDLE <bundle target> [PLUGINS <plug-in targets>...]
#                   [OUTPUT_DIRECTORY <folder>] [OUTPUT_NAME <program name>]
#                   [INSTALL_DIR <folder>] [INSTALL_COMPONENT <component>])
#
# docs/plugins.md says how to use them.
#
# One file serves the project's own tree and the installed SDK (TervalaConfig.cmake includes
# it). Both name the host's parts by the same targets: in the tree they are aliases of the
# project's own targets, in the SDK imported targets:
#   Tervala::engine            the engine library (vela_windows)
#   Tervala::win32             the Win32 layer, a library of its own on Linux only
#   Tervala::embedding_client  the C++ embedding client, linked into plug-ins and programs
#   Tervala::core_plugin       the cloud-app core plug-in, registered first by every app
#   Tervala::host              the runner's host library with the core plug-in and the app core
#   Tervala::version           tervala_version.h
#   Tervala::bundle_headers    vela_bundle.h, for bundles
#   Tervala::bundle_codec      the bundle codec (bundle/codec/tervala_codec.h)
# and take the program's sources from TERVALA_RUNNER_SOURCE_DIR (main.cc and its resources).

if(NOT TERVALA_RUNNER_SOURCE_DIR)
  set(TERVALA_RUNNER_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/../runner")
endif()
get_filename_component(TERVALA_RUNNER_SOURCE_DIR "${TERVALA_RUNNER_SOURCE_DIR}" ABSOLUTE)
# The ICU data file of a bundle folder: the engine stand-in only checks that it is there.
set(TERVALA_EMPTY_ICU_DATA "${CMAKE_BINARY_DIR}/generated/icudtl.dat")
file(CONFIGURE OUTPUT "${TERVALA_EMPTY_ICU_DATA}" CONTENT "")

# Warnings as errors for the project's own code; none imposed elsewhere.
function(_tervala_own_warnings target)
  if(COMMAND tervala_warnings)
    tervala_warnings(${target})
  endif()
endfunction()

# The MinGW runtime DLLs the programs need beside them, in `out`. Asking the compiler where it
# keeps them finds the ones of the toolchain in use.
function(tervala_mingw_runtime_dlls out)
  set(dlls)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll zlib1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
      message(FATAL_ERROR "The MinGW-w64 runtime DLL ${dll} was not found")
    endif()
    get_filename_component(dll_path "${dll_path}" REALPATH)
    list(APPEND dlls "${dll_path}")
  endforeach()
  set(${out} ${dlls} PARENT_SCOPE)
endfunction()
if(MINGW AND NOT DEFINED TERVALA_MINGW_RUNTIME_DLLS)
  tervala_mingw_runtime_dlls(TERVALA_MINGW_RUNTIME_DLLS)
endif()

# The target behind a name: an alias's target, else the name itself.
function(_tervala_real_target out name)
  get_target_property(aliased ${name} ALIASED_TARGET)
  if(aliased)
    set(${out} ${aliased} PARENT_SCOPE)
  else()
    set(${out} ${name} PARENT_SCOPE)
  endif()
endfunction()

# Of `names`, the targets built by this project (aliases resolved) in `built` and the
# imported ones (the SDK's) in `imported`.
function(_tervala_split_targets built imported)
  set(own)
  set(theirs)
  foreach(name IN LISTS ARGN)
    _tervala_real_target(real ${name})
    get_target_property(is_imported ${real} IMPORTED)
    if(is_imported)
      list(APPEND theirs ${real})
    else()
      list(APPEND own ${real})
    endif()
  endforeach()
  set(${built} ${own} PARENT_SCOPE)
  set(${imported} ${theirs} PARENT_SCOPE)
endfunction()

# Keeps a library's symbols to itself but for what its code marks for export: the static
# libraries linked in stay private, so they never bind to the host's copies of the same code.
# (A DLL exports only what is marked anyway; an ELF library would export all it links in.)
function(_tervala_export_only_marked target)
  set_target_properties(${target} PROPERTIES
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(NOT WIN32)
    target_link_options(${target} PRIVATE "LINKER:--exclude-libs,ALL")
  endif()
endfunction()

# A plug-in library (a DLL on Windows) that links the embedding client and the engine library
# and exports only its registration function, an extern "C" function taking the registrar
# handle (mark it TERVALA_PLUGIN_EXPORT, from embedding_client/plugin_export.h). REGISTRAR_NAME,
# the name the plug-in's registrar is asked for under, defaults to the target's name; HEADER,
# when given, is the header that declares the registration function (else the registrant
# declares it itself).
function(tervala_add_plugin target)
  cmake_parse_arguments(ARG "" "REGISTER;REGISTRAR_NAME;HEADER" "SOURCES" ${ARGN})
  if(NOT ARG_REGISTER)
    message(FATAL_ERROR "tervala_add_plugin(${target}): REGISTER <registration function> is required")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tervala_add_plugin(${target}): SOURCES is required")
  endif()
  if(NOT ARG_REGISTRAR_NAME)
    set(ARG_REGISTRAR_NAME ${target})
  endif()
  add_library(${target} SHARED ${ARG_SOURCES})
  target_link_libraries(${target} PUBLIC Tervala::engine
                                  PRIVATE Tervala::embedding_client Threads::Threads)
  if(WIN32)
    # DLLs carry their plain names (greeter_plugin.dll), as plug-in authors ship them.
    set_target_properties(${target} PROPERTIES PREFIX "")
  endif()
  _tervala_export_only_marked(${target})
  set_target_properties(${target} PROPERTIES
    TERVALA_PLUGIN_REGISTER "${ARG_REGISTER}"
    TERVALA_PLUGIN_REGISTRAR_NAME "${ARG_REGISTRAR_NAME}"
    TERVALA_PLUGIN_HEADER "${ARG_HEADER}")
  string(TOUPPER "${target}_IMPLEMENTATION" implementation)
  string(MAKE_C_IDENTIFIER "${implementation}" implementation)
  target_compile_definitions(${target} PRIVATE TERVALA_PLUGIN_IMPLEMENTATION ${implementation})
  _tervala_own_warnings(${target})
endfunction()

# An application bundle (C or C++): the engine-side application, which exports only its
# entry point (VELA_BUNDLE_EXPORT, vela_bundle.h) and may use the bundle codec
# (bundle/codec/tervala_codec.h). It is built as app.so in a folder of its own; an app copies
# it to its data/ folder.
function(tervala_add_bundle target)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tervala_add_bundle(${target}): SOURCES is required")
  endif()
  add_library(${target} MODULE ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE Tervala::bundle_headers Tervala::bundle_codec)
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME app SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/${target}")
  _tervala_export_only_marked(${target})
  if(NOT WIN32)
    target_link_options(${target} PRIVATE "LINKER:--as-needed")
  endif()
  _tervala_own_warnings(${target})
endfunction()

# Writes the registrant of an app: the core plug-in, then `plugins` in order.
function(_tervala_write_registrant name file plugins)
  set(includes "")
  set(declarations "")
  set(calls "")
  foreach(plugin IN LISTS plugins)
    if(NOT TARGET ${plugin})
      message(FATAL_ERROR "tervala_add_app(${name}): ${plugin} is not a target; define the "
                          "plug-in with tervala_add_plugin before the app")
    endif()
    get_target_property(function ${plugin} TERVALA_PLUGIN_REGISTER)
    get_target_property(registrar ${plugin} TERVALA_PLUGIN_REGISTRAR_NAME)
    get_target_property(header ${plugin} TERVALA_PLUGIN_HEADER)
    if(NOT function)
      message(FATAL_ERROR "tervala_add_app(${name}): ${plugin} is not a plug-in made with "
                          "tervala_add_plugin")
    endif()
    if(header)
      string(APPEND includes "#include \"${header}\"\n")
    else()
      string(APPEND declarations "extern \"C\" void ${function}(VelaDesktopPluginRegistrar registrar);\n")
    endif()
    string(APPEND calls "  ${function}(registry->RegistrarForPlugin(\"${registrar}\"));\n")
  endforeach()
  file(CONFIGURE OUTPUT "${file}" CONTENT
"// Made by tervala_add_app for ${name}: the application's native plug-ins, registered in
// this order, each with the registrar of its own name. A registration function given a null
// handle registers nothing, so the results need no checking.
#include \"runner/plugin_registrant.h\"
#include \"vela_windows.h\"
${includes}
${declarations}
void RegisterAllPlugins(vela::PluginRegistry* registry) {
${calls}}
")
endfunction()

# The host program <name> (OUTPUT_NAME, default <name>) with a registrant of the core plug-in
# followed by PLUGINS in order, laid out in OUTPUT_DIRECTORY (default <build folder>/<name>)
# with the engine library, the plug-in libraries and data/app.so (the bundle), and on Windows
# the runtime DLLs: a folder that runs as it is. The install rules put that folder in
# INSTALL_DIR under the prefix (default lib/<name>, on Windows <name>) with a link bin/<name>
# on Linux; with INSTALL_COMPONENT only `cmake --install --component <component>` installs it
# (and the packages leave it out).
function(tervala_add_app name)
  cmake_parse_arguments(ARG "" "BUNDLE;OUTPUT_DIRECTORY;OUTPUT_NAME;INSTALL_DIR;INSTALL_COMPONENT"
                        "PLUGINS" ${ARGN})
  if(NOT ARG_BUNDLE)
    message(FATAL_ERROR "tervala_add_app(${name}): BUNDLE <bundle target> is required")
  endif()
  if(NOT TARGET ${ARG_BUNDLE})
    message(FATAL_ERROR "tervala_add_app(${name}): ${ARG_BUNDLE} is not a target; define the "
                        "bundle with tervala_add_bundle before the app")
  endif()
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/${name}")
  endif()
  if(NOT ARG_OUTPUT_NAME)
    set(ARG_OUTPUT_NAME ${name})
  endif()
  if(NOT ARG_INSTALL_DIR)
    if(WIN32)
      set(ARG_INSTALL_DIR ${name})
    else()
      set(ARG_INSTALL_DIR lib/${name})
    endif()
  endif()
  set(folder "${ARG_OUTPUT_DIRECTORY}")
  set(plugins ${ARG_PLUGINS})

  # The registrant, as objects of the program (runner_host calls RegisterAllPlugins).
  set(registrant_source "${CMAKE_CURRENT_BINARY_DIR}/${name}_plugin_registrant.cc")
  set(registered Tervala::core_plugin ${plugins})
  _tervala_write_registrant(${name} "${registrant_source}" "${registered}")
  add_library(${name}_plugin_registrant OBJECT "${registrant_source}")
  target_link_libraries(${name}_plugin_registrant PUBLIC Tervala::host Tervala::core_plugin
                                                         ${plugins})
  _tervala_own_warnings(${name}_plugin_registrant)

  set(runner "${TERVALA_RUNNER_SOURCE_DIR}")
  if(MSVC)
    add_executable(${name} WIN32 "${runner}/main.cc" "${runner}/resources/Runner.rc"
                                 "${runner}/resources/runner.exe.manifest")
  elseif(WIN32)
    # MinGW: the manifest goes in as a resource of its own, and the wide entry point wWinMain
    # needs -municode.
    add_executable(${name} WIN32 "${runner}/main.cc" "${runner}/resources/Runner.rc"
                                 "${runner}/resources/manifest.rc")
    target_link_options(${name} PRIVATE -municode)
  else()
    add_executable(${name} "${runner}/main.cc" "${runner}/main_posix.cc")
    # Plug-ins in separate libraries join the core plug-in through two entry points, which
    # the program exports (and nothing else).
    set(dynamic_list "${runner}/tervala_app.dynamic-list")
    target_link_options(${name} PRIVATE "LINKER:--dynamic-list=${dynamic_list}")
    set_target_properties(${name} PROPERTIES LINK_DEPENDS "${dynamic_list}")
  endif()
  if(WIN32)
    # An import library for those two entry points, which a further plug-in links against.
    set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  endif()
  target_link_libraries(${name} PRIVATE ${name}_plugin_registrant Tervala::host Tervala::version)
  set_target_properties(${name} PROPERTIES
    OUTPUT_NAME "${ARG_OUTPUT_NAME}" RUNTIME_OUTPUT_DIRECTORY "${folder}"
    # The libraries beside the program first, so the folder runs wherever it is copied.
    BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN")
  _tervala_own_warnings(${name})

  # The folder: the libraries beside the program, the bundle in data/.
  set(libraries Tervala::engine ${plugins})
  if(NOT WIN32)
    list(APPEND libraries Tervala::win32)
  endif()
  set(copies)
  foreach(library IN LISTS libraries)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different
         "$<TARGET_FILE:${library}>" "${folder}/$<TARGET_FILE_NAME:${library}>")
  endforeach()
  if(WIN32 AND TERVALA_MINGW_RUNTIME_DLLS)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different
         ${TERVALA_MINGW_RUNTIME_DLLS} "${folder}")
  endif()
  add_custom_target(${name}_folder
    COMMAND ${CMAKE_COMMAND} -E make_directory "${folder}/data/vela_assets"
    ${copies}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${ARG_BUNDLE}>"
            "${folder}/data/app.so"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${TERVALA_EMPTY_ICU_DATA}"
            "${folder}/data/icudtl.dat"
    VERBATIM)
  # The libraries built here are built first; the SDK's are there already.
  _tervala_split_targets(built imported ${libraries} ${ARG_BUNDLE})
  if(built)
    add_dependencies(${name}_folder ${built})
  endif()
  # Building the program lays out its folder.
  add_dependencies(${name} ${name}_folder)

  _tervala_install_app(${name} "${ARG_BUNDLE}" "${libraries}" "${ARG_INSTALL_DIR}"
                       "${ARG_INSTALL_COMPONENT}" "${ARG_OUTPUT_NAME}")
endfunction()

# The install rules of an app's folder.
function(_tervala_install_app name bundle libraries destination component program)
  if(component)
    set(where COMPONENT ${component} EXCLUDE_FROM_ALL)
  else()
    set(where)
  endif()
  # A partial build installs nothing half-way: it says what to build first.
  set(checks "")
  foreach(target IN ITEMS ${name} ${bundle} ${libraries})
    string(APPEND checks "
      if(NOT EXISTS \"$<TARGET_FILE:${target}>\")
        message(FATAL_ERROR \"${name} is not built ($<TARGET_FILE:${target}> is missing): \"
                            \"build it first, for example with \"
                            \"cmake --build <build folder> --target ${name}\")
      endif()")
  endforeach()
  install(CODE "${checks}" ${where})
  _tervala_split_targets(built imported ${libraries})
  set_target_properties(${name} ${built} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${name} ${built}
          RUNTIME DESTINATION "${destination}" ${where}
          LIBRARY DESTINATION "${destination}" ${where}
          # Import libraries are for linking against the DLLs, not for running them.
          ARCHIVE DESTINATION lib COMPONENT import_libraries EXCLUDE_FROM_ALL)
  if(imported)
    # The SDK's engine library (and on Linux its Win32 layer), copied from the SDK.
    install(IMPORTED_RUNTIME_ARTIFACTS ${imported}
            RUNTIME DESTINATION "${destination}" ${where}
            LIBRARY DESTINATION "${destination}" ${where})
  endif()
  # The bundle through its target, so that an install with --strip strips it too.
  install(TARGETS ${bundle} LIBRARY DESTINATION "${destination}/data" ${where})
  install(DIRECTORY DESTINATION "${destination}/data/vela_assets" ${where})
  install(FILES "${TERVALA_EMPTY_ICU_DATA}" DESTINATION "${destination}/data" ${where})
  if(WIN32)
    if(TERVALA_MINGW_RUNTIME_DLLS)
      install(FILES ${TERVALA_MINGW_RUNTIME_DLLS} DESTINATION "${destination}" ${where})
      # The runtime DLLs come with their debugging information (libstdc++ is 23 MB with it);
      # an install with --strip, as CPack's, takes it out as it does for our own targets.
      foreach(dll IN LISTS TERVALA_MINGW_RUNTIME_DLLS)
        get_filename_component(dll_name "${dll}" NAME)
        install(CODE "
          if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${dll_name}\"
                            COMMAND_ERROR_IS_FATAL ANY)
          endif()
        " ${where})
      endforeach()
    endif()
  else()
    # The link in bin/, relative so the installed tree may move.
    file(RELATIVE_PATH to_folder "/prefix/bin" "/prefix/${destination}")
    install(CODE "
      file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
      file(CREATE_LINK \"${to_folder}/${program}\"
           \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${name}\" SYMBOLIC)
    " ${where})
  endif()
endfunction()

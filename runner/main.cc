// The process entry of tervala_app: it opens the window that runs the application bundle
// and pumps window messages until the window has been closed.
#include <objbase.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/heartbeat/platform_files.h"
#include "embedding_client/engine_project.h"
#include "runner/exit_code_channel.h"
#include "runner/host_options.h"
#include "runner/utils.h"
#include "runner/vela_window.h"

// The entry arguments are not used: the command line is read back through the system.
int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  // Output goes to the console the program was started from, or to a new one when there is
  // none and a debugger is attached.
  if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
    ConnectStandardStreamsToConsole();
  } else if (::IsDebuggerPresent()) {
    OpenDebugConsole();
  }

  // --version and --help are the host's own; every other argument is the application's.
  std::vector<std::string> command_line_arguments = CollectCommandLineArguments();
  switch (HostActionFor(command_line_arguments)) {
    case HostAction::kPrintVersion:
      WriteStandardOutput(HostVersionText());
      return EXIT_SUCCESS;
    case HostAction::kPrintHelp:
      WriteStandardOutput(HostHelpText());
      return EXIT_SUCCESS;
    case HostAction::kRun:
      break;
  }

  // TERVALA_DATA_DIR puts the app core's files (the heartbeat) in a folder of the user's
  // choice instead of the local application-data folder.
  nimbus::SetLocalAppDataFolderFromEnvironment("TERVALA_DATA_DIR");

  // The engine and plug-ins may use COM.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  // The bundle lies in data/ beside the executable; the engine library resolves the paths.
  vela::EngineProject project(L"data");
  project.entrypoint_arguments = std::move(command_line_arguments);

  VelaWindow window(project);
  const Win32Window::Point origin{10, 10};
  const Win32Window::Size size{1280, 720};
  if (!window.Create(L"Tervala", origin, size)) return EXIT_FAILURE;
  window.SetQuitWhenClosed(true);

  ::MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }

  ::CoUninitialize();
  // 0 unless the application chose another code.
  return RequestedExitCode();
}

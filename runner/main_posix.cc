// Where the system has no GUI entry point, the ordinary one runs the same start-up over the
// Win32 layer, which knows the process's command line itself.
#include <windows.h>

int APIENTRY wWinMain(HINSTANCE instance, HINSTANCE prev, wchar_t* command_line, int show_command);

int main() {
  return wWinMain(GetModuleHandleW(nullptr), nullptr, GetCommandLineW(), SW_SHOWDEFAULT);
}

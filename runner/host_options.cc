#include "runner/host_options.h"

#include <algorithm>

#include "tervala_version.h"

HostAction HostActionFor(const std::vector<std::string>& arguments) {
  auto has = [&](const char* option) {
    return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
  };
  if (has("--help")) return HostAction::kPrintHelp;
  if (has("--version")) return HostAction::kPrintVersion;
  return HostAction::kRun;
}

std::string HostVersionText() { return "tervala_app " TERVALA_VERSION_TEXT "\n"; }

std::string HostHelpText() {
  return "usage: tervala_app [--help | --version | APPLICATION ARGUMENTS...]\n"
         "Opens the Tervala window and runs the application in the data folder beside the\n"
         "program.\n"
         "\n"
         "The host's own options:\n"
         "  --help     print this text and exit\n"
         "  --version  print the version and exit\n"
         "Every other argument goes to the application unchanged, in order.\n"
         "\n"
         "The sample application takes:\n"
         "  --api-key=KEY  --app-id=ID  --project-id=ID  --messaging-sender-id=ID\n"
         "  --database-url=URL  --storage-bucket=BUCKET\n"
         "                     the default app's options; without any of them they come\n"
         "                     from nimbus-services-desktop.json or nimbus-services.json\n"
         "                     in the current directory\n"
         "  --exit-when-ready  exit once the app's answers are in\n";
}

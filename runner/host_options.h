// The host's own command-line options, --version and --help: every other argument goes to
// the application unchanged.
#ifndef TERVALA_RUNNER_HOST_OPTIONS_H_
#define TERVALA_RUNNER_HOST_OPTIONS_H_

#include <string>
#include <vector>

// What the host does with its command line.
enum class HostAction {
  kRun,           // start the application with the arguments
  kPrintVersion,  // print the version and exit
  kPrintHelp,     // print the host's options and exit
};

// --help anywhere among the arguments asks for the help text, else --version anywhere for
// the version; otherwise the application runs.
HostAction HostActionFor(const std::vector<std::string>& arguments);

// "tervala_app VERSION" and a line end.
std::string HostVersionText();

// The host's usage: its own options and the ones the sample application takes.
std::string HostHelpText();

#endif  // TERVALA_RUNNER_HOST_OPTIONS_H_

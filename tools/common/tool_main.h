// What every command-line tool does before its own work: takes its arguments as UTF-8
// (on Windows from the wide command line, since argv is in the ANSI code page) and
// switches standard input and output to binary, so message bytes pass unchanged.
#ifndef TERVALA_TOOLS_COMMON_TOOL_MAIN_H_
#define TERVALA_TOOLS_COMMON_TOOL_MAIN_H_

#include <string>
#include <vector>

namespace tervala::tools {

// The arguments after the program name, in UTF-8. An argument that is not valid Unicode
// keeps its position as an empty string.
std::vector<std::string> ToolArguments(int argc, char** argv);

// Standard input and output carry bytes as they are (no line-end translation).
void UseBinaryStandardStreams();

}  // namespace tervala::tools

#endif  // TERVALA_TOOLS_COMMON_TOOL_MAIN_H_

// Helpers of the process entry: a console for debugging, standard output, and the command-line
// arguments as UTF-8 strings for the engine's entry point.
#ifndef TERVALA_RUNNER_UTILS_H_
#define TERVALA_RUNNER_UTILS_H_

#include <string>
#include <vector>

// Creates a console for the process and points the standard output and error streams, the
// program's and the engine library's, at it. Does nothing when no console can be created.
void OpenDebugConsole();

// After the process has attached to the console it was started from: connects standard
// output and error (the program's and the engine library's) to that console where they are
// not a file, pipe or device already. A Windows GUI program's runtime streams are otherwise
// connected to nothing, as it had no console when it started; output redirected to a file
// or pipe stays where it goes.
void ConnectStandardStreamsToConsole();

// Writes `text` to the process's standard output as it is, or to the console the process
// is attached to when it has no standard output (a Windows GUI program started from a
// console).
void WriteStandardOutput(const std::string& text);

// The process's command-line arguments after the program path, in order, as UTF-8. An
// argument that cannot be converted becomes an empty string in its position. Empty when the
// command line cannot be split.
std::vector<std::string> CollectCommandLineArguments();

// The UTF-8 form of a null-terminated UTF-16 string; empty for null, for the empty string
// and for invalid input such as an unpaired surrogate.
std::string Utf16ToUtf8(const wchar_t* utf16_string);

#endif  // TERVALA_RUNNER_UTILS_H_

#ifndef TERVALA_APP_HEARTBEAT_PLATFORM_FILES_H_
#define TERVALA_APP_HEARTBEAT_PLATFORM_FILES_H_

// The few operating-system services the heartbeat needs: the per-user application-data
// folder, creating a directory, and converting between UTF-8 and the UTF-16 "native"
// strings the platform's file functions take.
//
// Every function reports failure through an optional error output: when `out_error` is
// non-null and the call fails, the message replaces its content; on success it is left
// alone. A failed call returns an empty string or false. Nothing here logs.

#include <cstddef>
#include <string>

namespace nimbus {

// Returns the UTF-8 path of the folder `app_name` (UTF-8, sub-folders separated by '/')
// inside the user's local application-data folder, joined with '/'. With `should_create`
// the missing folders are created; without it nothing on disk is touched. Empty on failure.
//
// On POSIX the application-data folder is $XDG_DATA_HOME, else $HOME/.local/share; it is
// created (mode 0700) when missing and `should_create` is set, as a fresh account may not
// have it yet.
std::string AppDataDir(const char* app_name, bool should_create = true,
                       std::string* out_error = nullptr);

// Puts the local application-data folder at `folder` (UTF-8, an absolute path) for the rest
// of the process, in place of the one the system names; an empty `folder` gives the
// system's back. AppDataDir creates `folder` itself when it is missing but not its parents.
// Tests keep their files in scratch folders this way on every platform, and tervala_app
// offers it to users as TERVALA_DATA_DIR. Safe to call from any thread.
void SetLocalAppDataFolder(std::string folder);

// Calls SetLocalAppDataFolder with the value of the environment variable `variable` (read as
// UTF-8; on Windows from the wide environment, as the ANSI one cannot hold every path) when
// it is set and not empty; otherwise changes nothing.
void SetLocalAppDataFolderFromEnvironment(const char* variable);

// Creates the one directory `path` (UTF-16 code units) unless it exists. Returns true when
// the path is a directory afterwards. Parent folders are not created.
bool EnsureDirectoryExists(const std::wstring& path, std::string* out_error = nullptr);

// Converts UTF-8 to UTF-16, one code unit per wchar_t (characters beyond U+FFFF become
// surrogate pairs, also where wchar_t is wider). Malformed input is no error: each
// ill-formed subsequence becomes U+FFFD. Where the conversion is our own (POSIX) it cannot
// fail, and the error output is never set.
std::wstring Utf8ToNative(const std::string& input, std::string* out_error = nullptr);

// Converts `length` UTF-16 code units at `input` to UTF-8. Unpaired surrogates and values
// beyond U+FFFF become U+FFFD. A null `input` with a non-zero length is an error.
std::string NativeToUtf8(const wchar_t* input, size_t length, std::string* out_error = nullptr);

}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_PLATFORM_FILES_H_

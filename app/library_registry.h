#ifndef TERVALA_APP_LIBRARY_REGISTRY_H_
#define TERVALA_APP_LIBRARY_REGISTRY_H_

// The process-wide record of the libraries (and versions) that make up this client, and
// the user agent built from it. App::RegisterLibrary, App::GetUserAgent and
// App::GetUserAgentCopy (app/app.h) are its other entry points. Every operation takes the
// app registry lock.

#include <string>

namespace nimbus {

// The version of the app core, registered as the library "nimbus-cpp".
inline constexpr char kSdkVersion[] = "13.12.0";

// Registers the app core's own libraries (SDK version, operating system, architecture, C++
// runtime, build source) once per registry lifetime.
void RegisterCoreLibraries();

// The version registered for `library`, or an empty string.
std::string GetLibraryVersion(const char* library);

// Sets `sdk` and `version` to the first of "nimbus-unity", "nimbus-mono" and "nimbus-cpp"
// that is registered with a non-empty version; both are empty when none is.
void FindHostSdk(std::string& sdk, std::string& version);

// Registers every blank-separated token "name/version" of `text` (the version is the rest
// of the token after the first "/"; tokens without a name are skipped), then rebuilds the
// user agent once if anything changed.
void RegisterLibrariesFromText(const char* text);

// Ends the registry: the next use starts from an empty one, with the core libraries not
// yet registered. The app registry calls this when its last app goes away.
void DestroyLibraryRegistry();

}  // namespace nimbus

#endif  // TERVALA_APP_LIBRARY_REGISTRY_H_

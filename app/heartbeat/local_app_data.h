// The platform's part of AppDataDir: where the user's local application-data folder is.
#ifndef TERVALA_APP_HEARTBEAT_LOCAL_APP_DATA_H_
#define TERVALA_APP_HEARTBEAT_LOCAL_APP_DATA_H_

#include <string>

namespace nimbus {

// Sets `base` to the folder (UTF-16, no trailing separator), which is empty when the system
// names none. With `should_create` a folder that a new account may lack is created. False,
// with the message in `out_error`, when the folder cannot be found or made.
bool LocalAppDataBase(bool should_create, std::wstring* base, std::string* out_error);

}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_LOCAL_APP_DATA_H_

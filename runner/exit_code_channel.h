#ifndef TERVALA_RUNNER_EXIT_CODE_CHANNEL_H_
#define TERVALA_RUNNER_EXIT_CODE_CHANNEL_H_

// The host's own channel through which the application chooses the exit code the program
// ends with once its window has closed (0 unless it does), for applications that run a task
// and must say whether it worked.

#include "embedding_client/binary_messenger.h"

// The channel, standard codec: the request [code], an integer from 0 to 255, is answered
// [null]; anything else gets ["bad-request", message, null] and changes nothing.
inline constexpr char kSetExitCodeChannel[] = "dev.tervala.host.setExitCode";

// Answers the channel on `messenger`.
void InstallExitCodeChannel(vela::BinaryMessenger* messenger);

// The code the application set last; 0 when it set none.
int RequestedExitCode();

#endif  // TERVALA_RUNNER_EXIT_CODE_CHANNEL_H_

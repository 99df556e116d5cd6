#ifndef TERVALA_APP_ASSERT_H_
#define TERVALA_APP_ASSERT_H_

#include "app/log.h"

// Internal checks of the app core. A false condition is logged at assert level with the
// condition's text as the whole message (the default sink then ends the process); under
// an installed sink the enclosing function returns without doing its work.
#define NIMBUS_ASSERT_RETURN_VOID(condition) \
  do {                                       \
    if (!(condition)) {                      \
      ::nimbus::LogAssert("%s", #condition); \
      return;                                \
    }                                        \
  } while (false)

#define NIMBUS_ASSERT_RETURN(condition, result) \
  do {                                          \
    if (!(condition)) {                         \
      ::nimbus::LogAssert("%s", #condition);    \
      return (result);                          \
    }                                           \
  } while (false)

#endif  // TERVALA_APP_ASSERT_H_

// The process entry of tervala_app. The host window and the engine are not part of the
// build yet, so for now the program only reports that and ends.
#include "app/log.h"

int main() {
  nimbus::LogInfo("tervala_app: the host window is not built yet; there is nothing to show.");
  return 0;
}

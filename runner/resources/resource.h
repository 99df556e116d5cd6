// Identifiers of the executable's resources.
#ifndef TERVALA_RUNNER_RESOURCES_RESOURCE_H_
#define TERVALA_RUNNER_RESOURCES_RESOURCE_H_

// The application icon, also the window class's icon.
#define IDI_APP_ICON 101

#endif  // TERVALA_RUNNER_RESOURCES_RESOURCE_H_

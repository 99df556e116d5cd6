// Control over the test double of the engine library's DPI query.
#ifndef TERVALA_RUNNER_TESTS_ENGINE_DPI_DOUBLE_H_
#define TERVALA_RUNNER_TESTS_ENGINE_DPI_DOUBLE_H_

// When not negative, the DPI that the double reports for every monitor.
extern int g_engine_dpi_override;

#endif  // TERVALA_RUNNER_TESTS_ENGINE_DPI_DOUBLE_H_

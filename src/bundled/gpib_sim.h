/* The extra exports of the simulated bench, beside the driver's own entry
 * points (abi/gpib_abi.h). The program never calls these; tests do, to give
 * each test a fresh bench of its own choosing. */
#ifndef GPIB_SIM_H
#define GPIB_SIM_H

#include "abi/gpib_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Throws the current bench away (its descriptors, instruments and faults) and
 * loads a new one: the bench file at path; the built-in bench when path is
 * ""; or, when path is NULL, what the environment names (GPIB_SIM_BENCH, else
 * the built-in bench). GPIB_SIM_INSTANT and GPIB_SIM_TRACE are read again.
 * Returns 0, or -1 when the bench was refused (GpibDriverDescription then
 * says why and every call fails with ERR and EDVR). */
typedef int(GPIB_CALL* GpibSimReload_fn)(const char* benchPathOrNull);

/* What the last load skipped (keys and resources not simulated), one sentence
 * a line; "" when nothing. The text stays owned by the library. */
typedef const char*(GPIB_CALL* GpibSimNotes_fn)(void);

#ifdef __cplusplus
}
#endif

#endif /* GPIB_SIM_H */

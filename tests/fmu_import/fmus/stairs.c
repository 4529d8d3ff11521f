/* A staircase that climbs one step every `period` seconds: an FMI 3.0 FMU
 * for model exchange (one state, time events, no event indicator) and
 * co-simulation (exact steps, the climbs within them taken at their times).
 * Written for the tests of blocksim's FMU blocks: its output y is an array.
 *
 *   n = number of climbs so far, at t = period, 2 period, ...
 *   y = [n, u n]   x' = n   (x = the area under the staircase)
 *
 * It exports the functions an importer of these two interfaces calls;
 * clocks, FMU states and directional derivatives are not offered. */
#include <math.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fmi/fmi3.h"

#define TOKEN "{5d1f3c9a-7a52-4c8e-9d1b-2f0c6e7b4a10}"

enum { vr_period = 1, vr_x = 2, vr_der_x = 3, vr_y = 4, vr_u = 5, vr_restless = 6 };

typedef struct {
    double period, x, u, time;
    double restless;  /* nonzero: its discrete states never settle, for an importer's bound */
    long climbs;
    bool running;  /* past initialization: period and x are fixed */
    fmi3InstanceEnvironment environment;
    fmi3LogMessageCallback log;
} Stairs;

static void complain(Stairs *s, const char *text) {
    if (s->log) s->log(s->environment, fmi3Error, "error", text);
}

static double next_climb(const Stairs *s) { return (double)(s->climbs + 1) * s->period; }

static fmi3Instance instantiate(fmi3String token, fmi3InstanceEnvironment environment, fmi3LogMessageCallback log) {
    if (!token || strcmp(token, TOKEN) != 0) {
        if (log) log(environment, fmi3Error, "error", "the instantiation token is not this FMU's");
        return NULL;
    }
    Stairs *s = calloc(1, sizeof *s);
    if (!s) return NULL;
    s->period = 0.25;
    s->environment = environment;
    s->log = log;
    return s;
}

FMI3_EXPORT const char *fmi3GetVersion(void) { return fmi3Version; }
FMI3_EXPORT fmi3Status fmi3SetDebugLogging(fmi3Instance i, fmi3Boolean on, size_t n, const fmi3String c[]) {
    (void)i; (void)on; (void)n; (void)c;
    return fmi3OK;
}
FMI3_EXPORT fmi3Instance fmi3InstantiateModelExchange(fmi3String name, fmi3String token, fmi3String resources,
                                                      fmi3Boolean visible, fmi3Boolean logging,
                                                      fmi3InstanceEnvironment environment, fmi3LogMessageCallback log) {
    (void)name; (void)resources; (void)visible; (void)logging;
    return instantiate(token, environment, log);
}
FMI3_EXPORT fmi3Instance fmi3InstantiateCoSimulation(fmi3String name, fmi3String token, fmi3String resources,
                                                     fmi3Boolean visible, fmi3Boolean logging, fmi3Boolean event_mode,
                                                     fmi3Boolean early_return, const fmi3ValueReference required[],
                                                     size_t n_required, fmi3InstanceEnvironment environment,
                                                     fmi3LogMessageCallback log, fmi3IntermediateUpdateCallback update) {
    (void)name; (void)resources; (void)visible; (void)logging; (void)event_mode; (void)early_return;
    (void)required; (void)n_required; (void)update;
    return instantiate(token, environment, log);
}
FMI3_EXPORT void fmi3FreeInstance(fmi3Instance i) { free(i); }
FMI3_EXPORT fmi3Status fmi3EnterInitializationMode(fmi3Instance i, fmi3Boolean td, fmi3Float64 tol, fmi3Float64 start,
                                                   fmi3Boolean sd, fmi3Float64 stop) {
    Stairs *s = i;
    (void)td; (void)tol; (void)sd; (void)stop;
    s->time = start;
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3ExitInitializationMode(fmi3Instance i) {
    Stairs *s = i;
    s->running = true;
    if (!(s->period > 0)) {
        complain(s, "period must be positive");
        return fmi3Error;
    }
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3EnterEventMode(fmi3Instance i) { (void)i; return fmi3OK; }
FMI3_EXPORT fmi3Status fmi3Terminate(fmi3Instance i) { (void)i; return fmi3OK; }
FMI3_EXPORT fmi3Status fmi3Reset(fmi3Instance i) { (void)i; return fmi3Error; }

FMI3_EXPORT fmi3Status fmi3GetFloat64(fmi3Instance i, const fmi3ValueReference vr[], size_t n, fmi3Float64 v[],
                                      size_t nv) {
    Stairs *s = i;
    size_t k = 0;
    for (size_t j = 0; j < n; ++j) {
        const size_t width = vr[j] == vr_y ? 2 : 1;
        if (k + width > nv) return fmi3Error;
        switch (vr[j]) {
            case vr_period: v[k] = s->period; break;
            case vr_x: v[k] = s->x; break;
            case vr_der_x: v[k] = (double)s->climbs; break;
            case vr_u: v[k] = s->u; break;
            case vr_restless: v[k] = s->restless; break;
            case vr_y:
                v[k] = (double)s->climbs;
                v[k + 1] = s->u * (double)s->climbs;
                break;
            default: return fmi3Error;
        }
        k += width;
    }
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3SetFloat64(fmi3Instance i, const fmi3ValueReference vr[], size_t n, const fmi3Float64 v[],
                                      size_t nv) {
    Stairs *s = i;
    if (nv < n) return fmi3Error;
    for (size_t j = 0; j < n; ++j) {
        if (vr[j] == vr_u) s->u = v[j];
        else if (vr[j] == vr_period && !s->running) s->period = v[j];
        else if (vr[j] == vr_x && !s->running) s->x = v[j];
        else if (vr[j] == vr_restless && !s->running) s->restless = v[j];
        else {
            complain(s, "only u may be set (period, x and restless before the run)");
            return fmi3Error;
        }
    }
    return fmi3OK;
}
/* No variables of these types: only empty calls succeed. */
#define NO_VARIABLES(name, type)                                                                                    \
    FMI3_EXPORT fmi3Status fmi3Get##name(fmi3Instance i, const fmi3ValueReference vr[], size_t n, type v[], size_t nv) { \
        (void)i; (void)vr; (void)v; (void)nv;                                                                       \
        return n ? fmi3Error : fmi3OK;                                                                              \
    }                                                                                                               \
    FMI3_EXPORT fmi3Status fmi3Set##name(fmi3Instance i, const fmi3ValueReference vr[], size_t n, const type v[],   \
                                         size_t nv) {                                                               \
        (void)i; (void)vr; (void)v; (void)nv;                                                                       \
        return n ? fmi3Error : fmi3OK;                                                                              \
    }
NO_VARIABLES(Float32, fmi3Float32)
NO_VARIABLES(Int32, fmi3Int32)
NO_VARIABLES(Int64, fmi3Int64)
NO_VARIABLES(Boolean, fmi3Boolean)

/* ---- Model exchange */
FMI3_EXPORT fmi3Status fmi3UpdateDiscreteStates(fmi3Instance i, fmi3Boolean *again, fmi3Boolean *terminate,
                                                fmi3Boolean *nominals, fmi3Boolean *values, fmi3Boolean *defined,
                                                fmi3Float64 *next) {
    Stairs *s = i;
    /* A climb due now, or one the importer's time lands a rounding error before. */
    while (next_climb(s) <= s->time * (1 + 1e-12)) s->climbs++;
    *again = s->restless != 0;
    *terminate = false;
    *nominals = false;
    *values = false;
    *defined = true;
    *next = next_climb(s);
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3EnterContinuousTimeMode(fmi3Instance i) { (void)i; return fmi3OK; }
FMI3_EXPORT fmi3Status fmi3CompletedIntegratorStep(fmi3Instance i, fmi3Boolean no_set, fmi3Boolean *event,
                                                   fmi3Boolean *terminate) {
    (void)i; (void)no_set;
    *event = false;
    *terminate = false;
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3SetTime(fmi3Instance i, fmi3Float64 t) {
    ((Stairs *)i)->time = t;
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3SetContinuousStates(fmi3Instance i, const fmi3Float64 x[], size_t n) {
    if (n != 1) return fmi3Error;
    ((Stairs *)i)->x = x[0];
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3GetContinuousStates(fmi3Instance i, fmi3Float64 x[], size_t n) {
    if (n != 1) return fmi3Error;
    x[0] = ((Stairs *)i)->x;
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3GetContinuousStateDerivatives(fmi3Instance i, fmi3Float64 dx[], size_t n) {
    if (n != 1) return fmi3Error;
    dx[0] = (double)((Stairs *)i)->climbs;
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3GetEventIndicators(fmi3Instance i, fmi3Float64 z[], size_t n) {
    (void)i; (void)z;
    return n ? fmi3Error : fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3GetNominalsOfContinuousStates(fmi3Instance i, fmi3Float64 x[], size_t n) {
    (void)i;
    for (size_t k = 0; k < n; ++k) x[k] = 1;
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3GetNumberOfEventIndicators(fmi3Instance i, size_t *n) {
    (void)i;
    *n = 0;
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3GetNumberOfContinuousStates(fmi3Instance i, size_t *n) {
    (void)i;
    *n = 1;
    return fmi3OK;
}

/* ---- Co-simulation: the area under the staircase, exactly, each climb at its time */
FMI3_EXPORT fmi3Status fmi3DoStep(fmi3Instance i, fmi3Float64 t, fmi3Float64 h, fmi3Boolean no_set,
                                  fmi3Boolean *event, fmi3Boolean *terminate, fmi3Boolean *early,
                                  fmi3Float64 *reached) {
    Stairs *s = i;
    (void)no_set;
    if (!(h > 0) || !isfinite(t + h)) {
        complain(s, "fmi3DoStep: the step must be positive");
        return fmi3Error;
    }
    const double end = t + h;
    double now = t;
    while (next_climb(s) <= end * (1 + 1e-12)) {
        const double climb = next_climb(s);
        if (climb > now) {
            s->x += (double)s->climbs * (climb - now);
            now = climb;
        }
        s->climbs++;
    }
    if (end > now) s->x += (double)s->climbs * (end - now);
    s->time = end;
    *event = false;
    *terminate = false;
    *early = false;
    *reached = end;
    return fmi3OK;
}
FMI3_EXPORT fmi3Status fmi3EnterStepMode(fmi3Instance i) { (void)i; return fmi3OK; }

/* A relay without hysteresis around a state: an FMI 2.0 FMU for model
 * exchange whose event indicator chatters. Written for the tests of
 * blocksim's FMU blocks, for the bound on events within one step.
 *
 *   x' = +1 below the threshold, -1 above it;  the direction is chosen anew
 *   at each event, so once x reaches the threshold every event makes the
 *   next one at once (a sliding mode, which an importer must refuse rather
 *   than loop in). */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fmi/fmi2.h"

#define GUID "{5b0e4c53-7a0e-4d3c-9f1e-2c6a3f7d0b11}"

enum { vr_x, vr_der_x, vr_threshold, vr_count };

typedef struct {
    double r[vr_count];
    double time;
    int falling;
    int mode_initialization;
    fmi2CallbackFunctions functions;
    char name[64];
} Relay;

static void logf_(Relay *b, fmi2Status status, const char *text) {
    if (b->functions.logger) b->functions.logger(b->functions.componentEnvironment, b->name, status, "error", "%s", text);
}

static void derivatives(Relay *b) { b->r[vr_der_x] = b->falling ? -1 : 1; }

/* The direction for where x is now. */
static void choose_direction(Relay *b) { b->falling = b->r[vr_x] > b->r[vr_threshold]; }

#include "fmi2_shared.h"

FMI2_EXPORT fmi2Component fmi2Instantiate(fmi2String name, fmi2Type type, fmi2String guid, fmi2String resources,
                                          const fmi2CallbackFunctions *functions, fmi2Boolean visible,
                                          fmi2Boolean logging) {
    (void)type; (void)resources; (void)visible; (void)logging;
    if (!functions || strcmp(guid, GUID) != 0) {
        if (functions && functions->logger)
            functions->logger(functions->componentEnvironment, name, fmi2Error, "error",
                              "the GUID %s is not this FMU's", guid);
        return NULL;
    }
    Relay *b = calloc(1, sizeof *b);
    if (!b) return NULL;
    memcpy(&b->functions, functions, sizeof *functions);
    snprintf(b->name, sizeof b->name, "%s", name);
    b->r[vr_x] = 0;
    b->r[vr_threshold] = 0.5;
    derivatives(b);
    return b;
}

FMI2_EXPORT fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean td, fmi2Real tol, fmi2Real start,
                                           fmi2Boolean sd, fmi2Real stop) {
    (void)td; (void)tol; (void)sd; (void)stop;
    ((Relay *)c)->time = start;
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2EnterInitializationMode(fmi2Component c) {
    ((Relay *)c)->mode_initialization = 1;
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2ExitInitializationMode(fmi2Component c) {
    ((Relay *)c)->mode_initialization = 0;
    choose_direction((Relay *)c);
    derivatives((Relay *)c);
    return fmi2OK;
}

FMI2_EXPORT fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t n, fmi2Real value[]) {
    Relay *b = c;
    derivatives(b);
    for (size_t i = 0; i < n; ++i) {
        if (vr[i] >= vr_count) return fmi2Error;
        value[i] = b->r[vr[i]];
    }
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t n, const fmi2Real value[]) {
    Relay *b = c;
    for (size_t i = 0; i < n; ++i) {
        if (vr[i] != vr_threshold && !(b->mode_initialization && vr[i] == vr_x)) {
            logf_(b, fmi2Error, "only threshold may be set (x at initialization)");
            return fmi2Error;
        }
        b->r[vr[i]] = value[i];
    }
    return fmi2OK;
}

/* ---- Model exchange */
FMI2_EXPORT fmi2Status fmi2NewDiscreteStates(fmi2Component c, fmi2EventInfo *info) {
    Relay *b = c;
    memset(info, 0, sizeof *info);
    choose_direction(b);
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetTime(fmi2Component c, fmi2Real t) {
    ((Relay *)c)->time = t;
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetContinuousStates(fmi2Component c, const fmi2Real x[], size_t n) {
    if (n != 1) return fmi2Error;
    ((Relay *)c)->r[vr_x] = x[0];
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetDerivatives(fmi2Component c, fmi2Real dx[], size_t n) {
    Relay *b = c;
    if (n != 1) return fmi2Error;
    derivatives(b);
    dx[0] = b->r[vr_der_x];
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetEventIndicators(fmi2Component c, fmi2Real z[], size_t n) {
    Relay *b = c;
    if (n != 1) return fmi2Error;
    z[0] = b->r[vr_x] - b->r[vr_threshold];
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetContinuousStates(fmi2Component c, fmi2Real x[], size_t n) {
    if (n != 1) return fmi2Error;
    x[0] = ((Relay *)c)->r[vr_x];
    return fmi2OK;
}

/* ---- Co-simulation: not offered */
FMI2_EXPORT fmi2Status fmi2DoStep(fmi2Component c, fmi2Real t, fmi2Real h, fmi2Boolean no_set) {
    (void)t; (void)h; (void)no_set;
    logf_(c, fmi2Error, "fmi2DoStep: this FMU is for model exchange only");
    return fmi2Error;
}

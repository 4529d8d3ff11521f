/* A ball dropped from 1 m that bounces with 0.7 of its speed: an FMI 2.0
 * FMU for model exchange (two states, one event indicator, the height) and
 * co-simulation (explicit Euler steps of 1 ms, a bounce at the step where
 * the height goes below zero). Written for the tests of blocksim's FMU
 * blocks.
 *
 *   h' = v,  v' = -g;  when h <= 0 with v < 0:  v := -e v,  h := 0 */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fmi/fmi2.h"

#define GUID "{8c4e810f-3df3-4a00-8276-176fa3c9f000}"

enum { vr_h, vr_der_h, vr_v, vr_der_v, vr_g, vr_e, vr_count };

typedef struct {
    double r[vr_count];
    double time;
    int mode_initialization;
    fmi2CallbackFunctions functions;
    char name[64];
} Ball;

static void logf_(Ball *b, fmi2Status status, const char *text) {
    if (b->functions.logger) b->functions.logger(b->functions.componentEnvironment, b->name, status, "error", "%s", text);
}

static void derivatives(Ball *b) {
    b->r[vr_der_h] = b->r[vr_v];
    b->r[vr_der_v] = -b->r[vr_g];
}

/* The bounce, when the ball is at or below the floor and falling. */
static int bounce(Ball *b) {
    if (b->r[vr_h] <= 0 && b->r[vr_v] < 0) {
        b->r[vr_h] = 0;
        b->r[vr_v] = -b->r[vr_e] * b->r[vr_v];
        return 1;
    }
    return 0;
}

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
    Ball *b = calloc(1, sizeof *b);
    if (!b) return NULL;
    memcpy(&b->functions, functions, sizeof *functions);
    snprintf(b->name, sizeof b->name, "%s", name);
    b->r[vr_h] = 1;
    b->r[vr_v] = 0;
    b->r[vr_g] = 9.81;
    b->r[vr_e] = 0.7;
    derivatives(b);
    return b;
}

FMI2_EXPORT fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean td, fmi2Real tol, fmi2Real start,
                                           fmi2Boolean sd, fmi2Real stop) {
    (void)td; (void)tol; (void)sd; (void)stop;
    ((Ball *)c)->time = start;
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2EnterInitializationMode(fmi2Component c) {
    ((Ball *)c)->mode_initialization = 1;
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2ExitInitializationMode(fmi2Component c) {
    ((Ball *)c)->mode_initialization = 0;
    derivatives((Ball *)c);
    return fmi2OK;
}

FMI2_EXPORT fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t n, fmi2Real value[]) {
    Ball *b = c;
    derivatives(b);
    for (size_t i = 0; i < n; ++i) {
        if (vr[i] >= vr_count) return fmi2Error;
        value[i] = b->r[vr[i]];
    }
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t n, const fmi2Real value[]) {
    Ball *b = c;
    for (size_t i = 0; i < n; ++i) {
        if (vr[i] != vr_g && vr[i] != vr_e && !(b->mode_initialization && (vr[i] == vr_h || vr[i] == vr_v))) {
            logf_(b, fmi2Error, "only g and e may be set (h and v at initialization)");
            return fmi2Error;
        }
        b->r[vr[i]] = value[i];
    }
    return fmi2OK;
}

/* ---- Model exchange */
FMI2_EXPORT fmi2Status fmi2NewDiscreteStates(fmi2Component c, fmi2EventInfo *info) {
    Ball *b = c;
    memset(info, 0, sizeof *info);
    info->valuesOfContinuousStatesChanged = bounce(b);
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetTime(fmi2Component c, fmi2Real t) {
    ((Ball *)c)->time = t;
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetContinuousStates(fmi2Component c, const fmi2Real x[], size_t n) {
    Ball *b = c;
    if (n != 2) return fmi2Error;
    b->r[vr_h] = x[0];
    b->r[vr_v] = x[1];
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetDerivatives(fmi2Component c, fmi2Real dx[], size_t n) {
    Ball *b = c;
    if (n != 2) return fmi2Error;
    derivatives(b);
    dx[0] = b->r[vr_der_h];
    dx[1] = b->r[vr_der_v];
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetEventIndicators(fmi2Component c, fmi2Real z[], size_t n) {
    if (n != 1) return fmi2Error;
    z[0] = ((Ball *)c)->r[vr_h];
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetContinuousStates(fmi2Component c, fmi2Real x[], size_t n) {
    Ball *b = c;
    if (n != 2) return fmi2Error;
    x[0] = b->r[vr_h];
    x[1] = b->r[vr_v];
    return fmi2OK;
}

/* ---- Co-simulation: Euler steps of 1 ms, the last one shorter */
FMI2_EXPORT fmi2Status fmi2DoStep(fmi2Component c, fmi2Real t, fmi2Real h, fmi2Boolean no_set) {
    Ball *b = c;
    (void)no_set;
    if (!(h > 0) || h > 1e3) {
        logf_(b, fmi2Error, "fmi2DoStep: the step must be positive and at most 1000 s");
        return fmi2Error;
    }
    const double end = t + h;
    double now = t;
    while (now < end) {
        const double dt = end - now < 1e-3 ? end - now : 1e-3;
        derivatives(b);
        b->r[vr_h] += dt * b->r[vr_der_h];
        b->r[vr_v] += dt * b->r[vr_der_v];
        bounce(b);
        now += dt;
    }
    b->time = end;
    return fmi2OK;
}

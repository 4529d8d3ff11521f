/* The FMI 2.0 functions the test FMUs bouncing_ball and chatter share:
 * what they implement alike (no Integer, Boolean or String variables, no
 * FMU state, no derivatives of inputs or outputs, no asynchronous steps).
 * Included once by each FMU's source, after its instance type. */
#ifndef TEST_FMU_FMI2_SHARED_H
#define TEST_FMU_FMI2_SHARED_H

FMI2_EXPORT const char *fmi2GetTypesPlatform(void) { return fmi2TypesPlatform; }
FMI2_EXPORT const char *fmi2GetVersion(void) { return fmi2Version; }
FMI2_EXPORT fmi2Status fmi2SetDebugLogging(fmi2Component c, fmi2Boolean on, size_t n, const fmi2String cat[]) {
    (void)c; (void)on; (void)n; (void)cat;
    return fmi2OK;
}
FMI2_EXPORT void fmi2FreeInstance(fmi2Component c) { free(c); }
FMI2_EXPORT fmi2Status fmi2Terminate(fmi2Component c) { (void)c; return fmi2OK; }
FMI2_EXPORT fmi2Status fmi2Reset(fmi2Component c) { (void)c; return fmi2Error; }
FMI2_EXPORT fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t n, fmi2Integer v[]) {
    (void)c; (void)vr; (void)v;
    return n ? fmi2Error : fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t n, const fmi2Integer v[]) {
    (void)c; (void)vr; (void)v;
    return n ? fmi2Error : fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t n, fmi2Boolean v[]) {
    (void)c; (void)vr; (void)v;
    return n ? fmi2Error : fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t n, const fmi2Boolean v[]) {
    (void)c; (void)vr; (void)v;
    return n ? fmi2Error : fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetString(fmi2Component c, const fmi2ValueReference vr[], size_t n, fmi2String v[]) {
    (void)c; (void)vr; (void)v;
    return n ? fmi2Error : fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference vr[], size_t n, const fmi2String v[]) {
    (void)c; (void)vr; (void)v;
    return n ? fmi2Error : fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetFMUstate(fmi2Component c, fmi2FMUstate *s) { (void)c; (void)s; return fmi2Error; }
FMI2_EXPORT fmi2Status fmi2SetFMUstate(fmi2Component c, fmi2FMUstate s) { (void)c; (void)s; return fmi2Error; }
FMI2_EXPORT fmi2Status fmi2FreeFMUstate(fmi2Component c, fmi2FMUstate *s) { (void)c; (void)s; return fmi2Error; }
FMI2_EXPORT fmi2Status fmi2SerializedFMUstateSize(fmi2Component c, fmi2FMUstate s, size_t *n) {
    (void)c; (void)s; (void)n;
    return fmi2Error;
}
FMI2_EXPORT fmi2Status fmi2SerializeFMUstate(fmi2Component c, fmi2FMUstate s, fmi2Byte b[], size_t n) {
    (void)c; (void)s; (void)b; (void)n;
    return fmi2Error;
}
FMI2_EXPORT fmi2Status fmi2DeSerializeFMUstate(fmi2Component c, const fmi2Byte b[], size_t n, fmi2FMUstate *s) {
    (void)c; (void)b; (void)n; (void)s;
    return fmi2Error;
}
FMI2_EXPORT fmi2Status fmi2GetDirectionalDerivative(fmi2Component c, const fmi2ValueReference u[], size_t nu,
                                                    const fmi2ValueReference k[], size_t nk, const fmi2Real dk[],
                                                    fmi2Real du[]) {
    (void)c; (void)u; (void)nu; (void)k; (void)nk; (void)dk; (void)du;
    return fmi2Error;
}
FMI2_EXPORT fmi2Status fmi2EnterEventMode(fmi2Component c) { (void)c; return fmi2OK; }
FMI2_EXPORT fmi2Status fmi2EnterContinuousTimeMode(fmi2Component c) { (void)c; return fmi2OK; }
FMI2_EXPORT fmi2Status fmi2CompletedIntegratorStep(fmi2Component c, fmi2Boolean no_set, fmi2Boolean *enter_event,
                                                   fmi2Boolean *terminate) {
    (void)c; (void)no_set;
    *enter_event = fmi2False;
    *terminate = fmi2False;
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2GetNominalsOfContinuousStates(fmi2Component c, fmi2Real x[], size_t n) {
    (void)c;
    for (size_t i = 0; i < n; ++i) x[i] = 1;
    return fmi2OK;
}
FMI2_EXPORT fmi2Status fmi2SetRealInputDerivatives(fmi2Component c, const fmi2ValueReference vr[], size_t n,
                                                   const fmi2Integer order[], const fmi2Real v[]) {
    (void)c; (void)vr; (void)n; (void)order; (void)v;
    return fmi2Error;
}
FMI2_EXPORT fmi2Status fmi2GetRealOutputDerivatives(fmi2Component c, const fmi2ValueReference vr[], size_t n,
                                                    const fmi2Integer order[], fmi2Real v[]) {
    (void)c; (void)vr; (void)n; (void)order; (void)v;
    return fmi2Error;
}
FMI2_EXPORT fmi2Status fmi2CancelStep(fmi2Component c) { (void)c; return fmi2Error; }
FMI2_EXPORT fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind s, fmi2Status *v) {
    (void)c; (void)s; (void)v;
    return fmi2Discard;
}
FMI2_EXPORT fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind s, fmi2Real *v) {
    (void)c; (void)s; (void)v;
    return fmi2Discard;
}
FMI2_EXPORT fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind s, fmi2Integer *v) {
    (void)c; (void)s; (void)v;
    return fmi2Discard;
}
FMI2_EXPORT fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind s, fmi2Boolean *v) {
    (void)c; (void)s; (void)v;
    return fmi2Discard;
}
FMI2_EXPORT fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind s, fmi2String *v) {
    (void)c; (void)s; (void)v;
    return fmi2Discard;
}

#endif

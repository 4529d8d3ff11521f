/* What the computational function needs of Scilab's simulator, handed
   across the link-map namespaces by xcos_entry.c. */
#ifndef ENGINE_XCOS_SERVICES_H
#define ENGINE_XCOS_SERVICES_H

typedef struct {
    int (*phase_simulation)(void);         /* get_phase_simulation(): 1 in a major step */
    double (*time)(void);                  /* get_scicos_time() */
    void (*report_error)(const char* message); /* stops the simulation with the message */
} EngineXcosServices;

typedef void (*EngineXcosConnect)(const EngineXcosServices* services);
typedef void (*EngineSfunctionRun)(scicos_block* block, int flag);
typedef void (*EngineSfunctionDeclare)(const int* name, const int* name_length, const int* parameter_count,
                                       const int* layout, const double* values, int* message,
                                       const int* message_length, double* declared, const int* declared_length);

#endif

/* The entry points Scilab links (link(..., "c")): engine_sfunction, the
   computational function of every engine block, and
   engine_sfunction_declare, the dialog's parameter check. Both forward to
   libengine_blocks_xcos_host.so, loaded beside this library into a
   link-map namespace of its own: there the block libraries and the host
   bind to the stand-in SDK's MEX API, not to the one Scilab exports. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "scicos_block4.h"
#include "xcos_services.h"

/* Scilab's simulator services, as scicos.h declares them (scicos.h itself
   needs more of Scilab's headers than scilab-include ships). */
int get_phase_simulation(void);
double get_scicos_time(void);
void Coserror(const char* fmt, ...);

/* Coserror sets the block's error code itself (-5, the one whose message is
   Coserror's text); setting another code after it, as set_block_error(-3)
   did, replaces the block's message with "block produces an internal
   error". */
static void report_error(const char* message) {
    Coserror("%s", message);
}

static EngineSfunctionRun run;
static EngineSfunctionDeclare declare;
static char load_error[4200];

static int load_host(void) {
    if (run && declare) return 1;
    Dl_info self;
    if (!dladdr((void*)&load_host, &self) || !self.dli_fname) {
        snprintf(load_error, sizeof load_error, "engine blocks: cannot find the folder of the Xcos library");
        return 0;
    }
    char path[4096];
    const char* slash = strrchr(self.dli_fname, '/');
    const int folder = slash ? (int)(slash - self.dli_fname + 1) : 0;
    snprintf(path, sizeof path, "%.*slibengine_blocks_xcos_host.so", folder, self.dli_fname);
    void* host = dlmopen(LM_ID_NEWLM, path, RTLD_NOW | RTLD_LOCAL);
    if (!host) {
        snprintf(load_error, sizeof load_error, "engine blocks: %s", dlerror());
        return 0;
    }
    EngineXcosConnect connect = (EngineXcosConnect)dlsym(host, "engine_xcos_connect");
    run = (EngineSfunctionRun)dlsym(host, "engine_sfunction_run");
    declare = (EngineSfunctionDeclare)dlsym(host, "engine_sfunction_declare");
    if (!connect || !run || !declare) {
        snprintf(load_error, sizeof load_error, "engine blocks: %s lacks its entry points", path);
        run = NULL;
        declare = NULL;
        return 0;
    }
    static const EngineXcosServices services = {get_phase_simulation, get_scicos_time, report_error};
    connect(&services);
    return 1;
}

void engine_sfunction(scicos_block* block, scicos_flag flag) {
    if (!load_host()) {
        report_error(load_error);
        return;
    }
    run(block, (int)flag);
}

void engine_sfunction_declare(const int* name, const int* name_length, const int* parameter_count,
                              const int* layout, const double* values, int* message, const int* message_length,
                              double* declared, const int* declared_length) {
    if (!load_host()) {
        int i = 0;
        for (; load_error[i] && i < *message_length - 1; ++i) message[i] = (unsigned char)load_error[i];
        message[i] = 0;
        return;
    }
    declare(name, name_length, parameter_count, layout, values, message, message_length, declared,
            declared_length);
}

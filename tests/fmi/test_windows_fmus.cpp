// The blocks' FMU binaries for Windows (binaries/win64, win32), loaded from
// their staged folders as an FMI tool loads them, under Wine. The value
// references are the descriptions' order, which fmu_tests checks on Linux:
// inputs, outputs, parameters, states, derivatives, DWork, internal_step.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "../worked_examples.hpp"
#include "fmi/fmi2.h"

namespace {

struct Binary {
    HMODULE module = nullptr;
    template <typename F>
    F get(const char* name) const {
        auto pointer = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        if (!pointer) throw std::runtime_error(std::string("the binary does not export ") + name);
        return pointer;
    }
};

Binary load(const std::string& block) {
    const std::string file = std::string(FMU_STAGE) + "/" + block + "/binaries/" + FMU_PLATFORM + "/" + block + ".dll";
    Binary binary{LoadLibraryA(file.c_str())};
    if (!binary.module) throw std::runtime_error("cannot load " + file + ": error " + std::to_string(GetLastError()));
    return binary;
}

std::vector<std::string> messages;
void logger(fmi2ComponentEnvironment, fmi2String, fmi2Status, fmi2String, fmi2String message, ...) {
    va_list arguments;
    va_start(arguments, message);
    char text[2048];
    std::vsnprintf(text, sizeof text, message, arguments);
    va_end(arguments);
    messages.push_back(text);
}
const fmi2CallbackFunctions callbacks{logger, calloc, free, nullptr, nullptr};

struct Instance {
    Binary binary;
    fmi2Component c;
    Instance(const std::string& block, fmi2Type type, const std::string& guid) : binary(load(block)) {
        c = binary.get<decltype(&fmi2Instantiate)>("fmi2Instantiate")(block.c_str(), type, guid.c_str(), nullptr,
                                                                      &callbacks, fmi2False, fmi2False);
    }
    ~Instance() {
        if (c) binary.get<decltype(&fmi2FreeInstance)>("fmi2FreeInstance")(c);
    }
    fmi2Status initialize() const {
        fmi2Status status = binary.get<decltype(&fmi2SetupExperiment)>("fmi2SetupExperiment")(c, fmi2False, 0, 0,
                                                                                               fmi2False, 0);
        if (status == fmi2OK) status = binary.get<decltype(&fmi2EnterInitializationMode)>("fmi2EnterInitializationMode")(c);
        if (status == fmi2OK) status = binary.get<decltype(&fmi2ExitInitializationMode)>("fmi2ExitInitializationMode")(c);
        return status;
    }
    void set(fmi2ValueReference vr, double value) const {
        ASSERT_EQ(fmi2OK, binary.get<decltype(&fmi2SetReal)>("fmi2SetReal")(c, &vr, 1, &value));
    }
    double real(fmi2ValueReference vr) const {
        double value = 0;
        EXPECT_EQ(fmi2OK, binary.get<decltype(&fmi2GetReal)>("fmi2GetReal")(c, &vr, 1, &value));
        return value;
    }
};

TEST(WindowsFmus, BlowerWorkedExample) {
    Instance blower("blower", fmi2CoSimulation, BLOWER_GUID);
    ASSERT_NE(nullptr, blower.c) << (messages.empty() ? "" : messages.back());
    ASSERT_EQ(fmi2OK, blower.initialize());
    const auto& example = worked_examples::blower_gas;
    for (unsigned i = 0; i < 3; ++i) blower.set(1 + i, example.inlet[i]);  // inlet.p, inlet.T, inlet.c
    blower.set(4, 150000);                                                  // u1[1]
    blower.set(7, 1);                                                       // u2[1]
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_TEN_DIGITS(example.inlet_flow[i], blower.real(8 + i));    // inlet_flow.*
        EXPECT_TEN_DIGITS(example.outlet_flow[i], blower.real(11 + i));  // outlet_flow.*
    }
    EXPECT_TEN_DIGITS(example.power, blower.real(14));  // y2[1]
}

TEST(WindowsFmus, RelayWorkedExampleOverCommunicationSteps) {
    Instance relay("sarnith", fmi2CoSimulation, SARNITH_GUID);
    ASSERT_NE(nullptr, relay.c);
    ASSERT_EQ(fmi2OK, relay.initialize());
    const auto do_step = relay.binary.get<decltype(&fmi2DoStep)>("fmi2DoStep");
    const double inputs[] = {2, 4, 2, 0.5, 2, 3};
    std::vector<double> outputs;
    for (int k = 0; k < 6; ++k) {
        relay.set(1, inputs[k]);           // u
        outputs.push_back(relay.real(2));  // y
        ASSERT_EQ(fmi2OK, do_step(relay.c, k, 1, fmi2True));
    }
    EXPECT_EQ((std::vector<double>{0, 0, 0, 1, 1, 1}), outputs);
}

TEST(WindowsFmus, BrisquelJustAfterLoadingThroughModelExchange) {
    Instance controller("Brisquel", fmi2ModelExchange, BRISQUEL_GUID);
    ASSERT_NE(nullptr, controller.c);
    ASSERT_EQ(fmi2OK, controller.initialize());
    controller.set(1, 12520000.0);
    controller.set(2, 0.9375);
    controller.set(3, 1.0);
    EXPECT_EQ(1.07005329225731, controller.real(4));  // schedule_a: the initial vector
    double dx[2] = {0, 0};
    ASSERT_EQ(fmi2OK, controller.binary.get<decltype(&fmi2GetDerivatives)>("fmi2GetDerivatives")(controller.c, dx, 2));
    EXPECT_EQ(0.5208333333333334, dx[0]);
    EXPECT_EQ(0.9765625, dx[1]);
}

TEST(WindowsFmus, AnotherFmusGuidIsRefused) {
    messages.clear();
    Instance wrong("quorvel", fmi2CoSimulation, SARNITH_GUID);
    EXPECT_EQ(nullptr, wrong.c);
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(std::string::npos, messages.back().find("the modelDescription.xml belongs to another FMU")) << messages.back();
}

}  // namespace

// The Xcos computational function: a block's dialog parameters of any class
// and shape through engine_sfunction_declare, as the dialog's check hands
// them over; and, where the block accepts them, a block that Xcos would
// build from them, initialised, run for a few steps with any inputs and
// ended. Asserted: a refusal is a message, never a crash; every message that
// stops the simulation is not empty.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "block_manifest.hpp"
#include "fuzz_input.hpp"
#include "loaded_blocks.hpp"
#include "scicos_block4.h"
#include "xcos_services.h"

extern "C" {
void engine_xcos_connect(const EngineXcosServices* services);
void engine_sfunction_run(scicos_block* block, int flag);
void engine_sfunction_declare(const int* name, const int* name_length, const int* parameter_count, const int* layout,
                              const double* values, int* message, const int* message_length, double* declared,
                              const int* declared_length);
}

namespace {

int phase = 1;
double now = 0.0;
bool stopped = false;

void connect_services() {
    static const bool connected = [] {
        static const EngineXcosServices services{[] { return phase; }, [] { return now; },
                                                 [](const char* message) {
                                                     if (!message || !*message) std::abort();
                                                     stopped = true;
                                                 }};
        engine_xcos_connect(&services);
        return true;
    }();
    static_cast<void>(connected);
}

// One dialog parameter as the dialog's macro encodes it.
struct Parameter {
    int kind = 0, rows = 0, cols = 0;
    std::vector<double> values;  // complex: real parts, then imaginary parts
};

Parameter parameter_of(fuzzing::FuzzInput& in) {
    Parameter p;
    p.kind = in.byte() % 6;
    p.rows = in.byte() % 4;
    p.cols = in.byte() % 4;
    if (p.kind == 3) p.rows = p.cols > 0 ? 1 : 0;  // a text is one row of codes
    const int count = p.rows * p.cols * (p.kind == 1 ? 2 : 1);
    for (int i = 0; i < count; ++i)
        p.values.push_back(p.kind == 3 ? in.byte() : in.byte() % 2 ? in.number() : in.byte() % 8 - 2.0);
    return p;
}

// Scilab's type code of an object parameter of `kind` (SCSREAL_N,
// SCSCOMPLEX_N, SCSINT32_N), or 0 for one that cannot reach a simulation
// (logical, text, sparse).
constexpr int scilab_real = 10;
int scilab_type(int kind) { return kind == 0 ? scilab_real : kind == 1 ? 11 : kind == 4 ? 84 : 0; }

void run_block(const std::string& name, std::vector<Parameter>& parameters, const double* declared,
               fuzzing::FuzzInput& in) {
    const int inputs = static_cast<int>(declared[0]), outputs = static_cast<int>(declared[1]);
    const int states = static_cast<int>(declared[2]);
    if (inputs < 0 || inputs > 8 || outputs < 0 || outputs > 8 || states < 0 || states > 16) return;
    scicos_block block{};
    std::vector<int> ipar(name.begin(), name.end());
    block.nipar = static_cast<int>(ipar.size());
    block.ipar = ipar.data();
    std::vector<int> oparsz, opartyp;
    std::vector<void*> oparptr;
    std::vector<std::vector<std::int32_t>> integers(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        auto& p = parameters[i];
        opartyp.push_back(scilab_type(p.kind));
        if (p.kind == 4) {
            for (const double v : p.values)
                integers[i].push_back(v >= -2147483648.0 && v <= 2147483647.0 ? static_cast<std::int32_t>(v) : 0);
            oparptr.push_back(integers[i].data());
        } else {
            oparptr.push_back(p.values.data());
        }
    }
    for (const auto& p : parameters) oparsz.push_back(p.rows);
    for (const auto& p : parameters) oparsz.push_back(p.cols);
    block.nopar = static_cast<int>(parameters.size());
    block.oparsz = oparsz.data();
    block.opartyp = opartyp.data();
    block.oparptr = oparptr.data();
    // Ports as declared, or now and then one element off, which must be refused.
    const int off = in.byte() % 16 == 0 ? 1 : 0;
    std::vector<int> insz(3 * static_cast<std::size_t>(inputs)), outsz(3 * static_cast<std::size_t>(outputs));
    std::vector<std::vector<double>> in_buffers, out_buffers;
    std::vector<void*> inptr, outptr;
    for (int p = 0; p < inputs; ++p) {
        const int width = static_cast<int>(declared[4 + 2 * p]) + (p == 0 ? off : 0);
        if (width < 0 || width > 64) return;
        insz[p] = width, insz[inputs + p] = 1, insz[2 * inputs + p] = scilab_real;
        in_buffers.emplace_back(static_cast<std::size_t>(width) + 1);
    }
    for (int p = 0; p < outputs; ++p) {
        const int width = static_cast<int>(declared[4 + 2 * inputs + 2 * p]);
        if (width < 0 || width > 64) return;
        outsz[p] = width, outsz[outputs + p] = 1, outsz[2 * outputs + p] = static_cast<int>(declared[5 + 2 * inputs + 2 * p]);
        out_buffers.emplace_back(static_cast<std::size_t>(width) + 1);
    }
    for (auto& buffer : in_buffers) inptr.push_back(buffer.data());
    for (auto& buffer : out_buffers) outptr.push_back(buffer.data());
    block.nin = inputs, block.insz = insz.data(), block.inptr = inptr.data();
    block.nout = outputs, block.outsz = outsz.data(), block.outptr = outptr.data();
    std::vector<double> x(static_cast<std::size_t>(states) + 1), xd(static_cast<std::size_t>(states) + 1);
    block.nx = states, block.x = x.data(), block.xd = xd.data();
    void* work = nullptr;
    block.work = &work;
    char label[] = "fuzzed";
    block.label = label;

    stopped = false;
    engine_sfunction_run(&block, Initialization);
    for (int step = 0; step < 4 && !stopped && !in.exhausted(); ++step) {
        for (auto& buffer : in_buffers)
            for (double& value : buffer) value = in.byte() % 2 ? in.number() : in.byte() * 1e5;
        phase = in.byte() % 2 ? 1 : 2;
        now = step * 0.1;
        engine_sfunction_run(&block, OutputUpdate);
        if (!stopped && states > 0) engine_sfunction_run(&block, DerivativeState);
    }
    engine_sfunction_run(&block, Ending);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    connect_services();
    fuzzing::keep_blocks_loaded();
    fuzzing::FuzzInput in(data, size);
    const auto& entry = blocks::manifest[in.byte() % std::size(blocks::manifest)];
    const std::string name = entry.name;
    const int count = in.byte() % 8 < 6 ? entry.parameters : in.byte() % 5;
    std::vector<Parameter> parameters;
    for (int i = 0; i < count; ++i) parameters.push_back(parameter_of(in));

    std::vector<int> codes(name.begin(), name.end()), layout;
    std::vector<double> values;
    for (const auto& p : parameters) {
        layout.insert(layout.end(), {p.kind, p.rows, p.cols});
        values.insert(values.end(), p.values.begin(), p.values.end());
    }
    if (layout.empty()) layout = {0, 0, 0};
    if (values.empty()) values = {0.0};
    const int name_length = static_cast<int>(codes.size()), message_length = 1024, declared_length = 64;
    std::vector<int> message(message_length, -1);
    std::vector<double> declared(declared_length);
    engine_sfunction_declare(codes.data(), &name_length, &count, layout.data(), values.data(), message.data(),
                             &message_length, declared.data(), &declared_length);
    bool terminated = false;
    for (const int c : message) terminated = terminated || c == 0;
    if (!terminated) std::abort();
    if (message[0] != 0) return 0;  // refused, with its message
    bool runnable = true;
    for (const auto& p : parameters) runnable = runnable && scilab_type(p.kind) != 0;
    if (runnable) run_block(name, parameters, declared.data(), in);
    return 0;
}

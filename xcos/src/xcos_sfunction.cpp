// The Xcos computational function of every engine block, and the dialog's
// check of a block's parameters. Both run the block's own NAME.mexa64
// through host::SFunctionInstance, so Xcos computes nothing of its own.
//
// This library runs in a link-map namespace of its own (xcos_entry.c
// loads it with dlmopen): Scilab exports a MEX API of its own (mx...), which
// would otherwise stand in for the stand-in SDK's in these calls and in the
// block libraries'. Scilab's simulator services therefore come as function
// pointers, not as symbols.
//
// A block's model carries, for this function:
//   ipar  the S-function name as character codes ("blower" is 98 108 ...)
//   opar  one object per dialog parameter, in the block's order: a real
//         or complex double matrix, or an int32 matrix
// and its continuous states in Xcos's own x.

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "host/sfunction/data_types.hpp"
#include "host/sfunction/instance.hpp"
#include "host/sfunction/library.hpp"
#include "host/common/text.hpp"

// Scilab's headers carry no extern "C" guards.
extern "C" {
#include "scicos_block4.h"
#include "xcos_services.h"
}

namespace {

// Type codes of Scilab's object parameters (opartyp).
constexpr int scilab_real = 10;
constexpr int scilab_complex = 11;
constexpr int scilab_int32 = 84;

EngineXcosServices scilab{};

// The block libraries beside this library (installed, both are in
// PREFIX/lib/engine-blocks) or in the build's block folder beside its xcos
// folder: no build's path is written into the library.
const std::vector<std::filesystem::path>& block_search_path() {
    static const std::vector<std::filesystem::path> path = [] {
        Dl_info self{};
        if (!dladdr(reinterpret_cast<const void*>(&block_search_path), &self) || !self.dli_fname)
            return std::vector<std::filesystem::path>{};
        const auto folder = std::filesystem::path(self.dli_fname).parent_path();
        return std::vector<std::filesystem::path>{folder, folder.parent_path() / "blocks"};
    }();
    return path;
}

std::string sfunction_name(const scicos_block* block) {
    std::string name;
    for (int i = 0; i < block->nipar; ++i) name.push_back(static_cast<char>(block->ipar[i]));
    return name;
}

// A dialog parameter's class as the two ways in name it: Xcos's object
// parameters (real, complex, int32) and the dialog check's layout codes 0 .. 5.
enum class ParameterKind { real, complex, logical, text, int32, sparse };

// A text typed into a dialog: a char array as mxCreateString makes it (1 x n,
// or 0 x 0 when empty), which the blocks' parameter checks refuse by class.
mxArray* char_parameter(const double* codes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (!(codes[i] >= 1 && codes[i] <= 255)) throw host::HostError("a text parameter holds a character code out of 1 .. 255");
        text.push_back(static_cast<char>(static_cast<unsigned char>(codes[i])));
    }
    return mxCreateString(text.c_str());
}

// Scilab integers of any width reach us as doubles: a value the int32 the
// block sees cannot hold is refused, not wrapped.
void check_int32_values(const double* values, std::size_t count, int parameter) {
    for (std::size_t i = 0; i < count; ++i)
        if (!(values[i] >= -2147483648.0 && values[i] <= 2147483647.0) || values[i] != std::floor(values[i]))
            throw host::HostError("dialog parameter " + std::to_string(parameter) + ": " + host::format_number(values[i]) +
                                  " is no int32 value (a whole number from -2147483648 to 2147483647)");
}

// One dialog parameter of `kind`, rows x cols, its elements from
// element(i) and, when complex, imaginary(i).
template <typename Element, typename Imaginary>
host::ArrayPtr dialog_parameter(ParameterKind kind, mwSize rows, mwSize cols, int number, Element element,
                                Imaginary imaginary) {
    const std::size_t n = rows * cols;
    host::ArrayPtr array;
    switch (kind) {
    case ParameterKind::real:
    case ParameterKind::complex:
        array.reset(mxCreateDoubleMatrix(rows, cols, kind == ParameterKind::complex ? mxCOMPLEX : mxREAL));
        for (std::size_t i = 0; i < n; ++i) mxGetPr(array.get())[i] = element(i);
        if (kind == ParameterKind::complex)
            for (std::size_t i = 0; i < n; ++i) mxGetPi(array.get())[i] = imaginary(i);
        return array;
    case ParameterKind::logical:
        array.reset(mxCreateLogicalMatrix(rows, cols));
        for (std::size_t i = 0; i < n; ++i) mxGetLogicals(array.get())[i] = element(i) != 0.0;
        return array;
    case ParameterKind::text: {
        std::vector<double> codes(n);
        for (std::size_t i = 0; i < n; ++i) codes[i] = element(i);
        array.reset(char_parameter(codes.data(), n));
        return array;
    }
    case ParameterKind::int32: {
        array.reset(mxCreateNumericMatrix(rows, cols, mxINT32_CLASS, mxREAL));
        auto* values = static_cast<std::int32_t*>(mxGetData(array.get()));
        for (std::size_t i = 0; i < n; ++i) {
            const double value = element(i);
            check_int32_values(&value, 1, number);
            values[i] = static_cast<std::int32_t>(value);
        }
        return array;
    }
    case ParameterKind::sparse: {
        // Every element stored, column by column.
        array.reset(mxCreateSparse(rows, cols, n, mxREAL));
        mwIndex* ir = mxGetIr(array.get());
        mwIndex* jc = mxGetJc(array.get());
        for (std::size_t i = 0; i < n; ++i) ir[i] = i % rows, mxGetPr(array.get())[i] = element(i);
        for (std::size_t j = 0; j <= cols; ++j) jc[j] = j * rows;
        return array;
    }
    }
    throw host::HostError("dialog parameter " + std::to_string(number) + " has an unknown class");
}

// Object parameter `index` of an Xcos block, as the block's model holds it.
host::ArrayPtr object_parameter(const scicos_block* block, int index) {
    const auto rows = static_cast<mwSize>(block->oparsz[index]);
    const auto cols = static_cast<mwSize>(block->oparsz[block->nopar + index]);
    const std::size_t count = rows * cols;
    const auto* doubles = static_cast<const double*>(block->oparptr[index]);
    const auto* integers = static_cast<const std::int32_t*>(block->oparptr[index]);
    auto real = [&](std::size_t i) { return doubles[i]; };
    // Scilab stores all real parts, then all imaginary parts.
    auto imaginary = [&](std::size_t i) { return doubles[count + i]; };
    auto integer = [&](std::size_t i) { return static_cast<double>(integers[i]); };
    switch (block->opartyp[index]) {
    case scilab_real: return dialog_parameter(ParameterKind::real, rows, cols, index + 1, real, imaginary);
    case scilab_complex: return dialog_parameter(ParameterKind::complex, rows, cols, index + 1, real, imaginary);
    case scilab_int32: return dialog_parameter(ParameterKind::int32, rows, cols, index + 1, integer, imaginary);
    default:
        throw host::HostError("dialog parameter " + std::to_string(index + 1) + " has Scilab type code " +
                              std::to_string(block->opartyp[index]) +
                              ", which cannot reach an S-function (real, complex or int32 matrices only)");
    }
}

// Ports as Xcos built them, so that a diagram saved with other sizes is
// refused with the reason instead of reading past a buffer.
void check_ports(const scicos_block* block, const host::SFunctionInstance& instance) {
    auto refuse = [&](const std::string& what) { throw host::HostError(instance.label() + ": " + what); };
    if (block->nin != instance.num_inputs() || block->nout != instance.num_outputs())
        refuse("the Xcos block has " + std::to_string(block->nin) + " inputs and " + std::to_string(block->nout) +
               " outputs, the S-function declares " + std::to_string(instance.num_inputs()) + " and " +
               std::to_string(instance.num_outputs()));
    for (int port = 0; port < block->nin; ++port) {
        const int width = block->insz[port] * block->insz[block->nin + port];
        if (width != instance.input(port).width)
            refuse("Xcos input port " + std::to_string(port + 1) + " has " + std::to_string(width) +
                   " elements, the S-function declares " + std::to_string(instance.input(port).width));
        if (block->insz[2 * block->nin + port] != scilab_real)
            refuse("Xcos input port " + std::to_string(port + 1) + " is not a real double signal");
    }
    for (int port = 0; port < block->nout; ++port) {
        const int width = block->outsz[port] * block->outsz[block->nout + port];
        if (width != instance.output(port).width)
            refuse("Xcos output port " + std::to_string(port + 1) + " has " + std::to_string(width) +
                   " elements, the S-function declares " + std::to_string(instance.output(port).width));
    }
    if (block->nx != instance.num_cont_states())
        refuse("Xcos gives the block " + std::to_string(block->nx) + " continuous states, the S-function declares " +
               std::to_string(instance.num_cont_states()));
}

// Xcos's signal type code (model.outtyp) of an output's element type.
int xcos_signal_type(const host::SFunctionInstance& instance, int port) {
    const int id = instance.output(port).data_type;
    switch (host::data_type(id).storage) {
    case host::Storage::float64: return 1;
    case host::Storage::int32: return 3;
    case host::Storage::int16: return 4;
    case host::Storage::int8: return 5;
    case host::Storage::uint32: return 6;
    case host::Storage::uint16: return 7;
    case host::Storage::uint8: return 8;
    default:
        throw host::HostError(instance.label() + " output port " + std::to_string(port) + " is " +
                              host::data_type_label(id) + ", which Xcos has no signal type for");
    }
}

// An instance of S-function `name` with its sizes, types and sample times
// settled as a diagram settles them: Xcos feeds every input a double.
std::unique_ptr<host::SFunctionInstance> settled_instance(const std::string& label, const std::string& name,
                                                          std::vector<host::ArrayPtr> parameters) {
    auto instance = std::make_unique<host::SFunctionInstance>(label, host::Library::load(name, block_search_path()),
                                                              std::move(parameters));
    instance->settle_frames();
    for (int port = 0; port < instance->num_inputs(); ++port) instance->offer_input_type(port, host::double_type_id);
    instance->settle_types();
    instance->settle_sample_times();
    return instance;
}

std::unique_ptr<host::SFunctionInstance> create_instance(const scicos_block* block) {
    const std::string name = sfunction_name(block);
    std::vector<host::ArrayPtr> parameters;
    for (int i = 0; i < block->nopar; ++i) parameters.push_back(object_parameter(block, i));
    const std::string label = block->label && *block->label ? block->label : name;
    auto instance = settled_instance(label, name, std::move(parameters));
    check_ports(block, *instance);
    instance->allocate();
    return instance;
}

// Xcos may hand the block other port and state buffers from call to call
// (the solver's trial vectors), so nothing is kept between calls.
void take_inputs_and_states(scicos_block* block, host::SFunctionInstance& instance) {
    for (int port = 0; port < block->nin; ++port) instance.connect_input(port, block->inptr[port]);
    if (block->nx > 0) std::copy(block->x, block->x + block->nx, instance.cont_states());
}

void hand_out_outputs(scicos_block* block, const host::SFunctionInstance& instance) {
    for (int port = 0; port < block->nout; ++port) {
        const host::PortSpec spec = instance.output(port);
        const std::size_t bytes = static_cast<std::size_t>(spec.width) * host::data_type(spec.data_type).size;
        std::memcpy(block->outptr[port], instance.output_signal(port), bytes);
    }
}

void run(scicos_block* block, int flag) {
    auto*& instance = reinterpret_cast<host::SFunctionInstance*&>(*block->work);
    switch (flag) {
    case Initialization: {
        auto created = create_instance(block);
        // Owned by Xcos's work pointer from here on, so that Ending frees
        // it whatever fails next.
        instance = created.release();
        take_inputs_and_states(block, *instance);
        instance->start();
        instance->initialize_conditions();
        if (block->nx > 0) std::copy(instance->cont_states(), instance->cont_states() + block->nx, block->x);
        break;
    }
    case OutputUpdate: {
        if (!instance) return;
        const bool major = scilab.phase_simulation() == 1;
        const double time = scilab.time();
        take_inputs_and_states(block, *instance);
        instance->outputs(time, major);
        hand_out_outputs(block, *instance);
        if (major) instance->update(time);
        break;
    }
    case DerivativeState: {
        if (!instance) return;
        take_inputs_and_states(block, *instance);
        instance->derivatives(scilab.time());
        std::copy(instance->state_derivatives(), instance->state_derivatives() + block->nx, block->xd);
        break;
    }
    case Ending: {
        // The pointer is cleared first: a failing mdlTerminate must not
        // leave a freed instance behind for a second Ending.
        std::unique_ptr<host::SFunctionInstance> ending(instance);
        instance = nullptr;
        if (ending) ending->terminate();
        break;
    }
    default:
        break;
    }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void engine_xcos_connect(const EngineXcosServices* services) {
    scilab = *services;
}

__attribute__((visibility("default"))) void engine_sfunction_run(scicos_block* block, int flag) {
    try {
        run(block, flag);
    } catch (const host::BlockError& error) {
        scilab.report_error(error.message().c_str());
    } catch (const std::exception& error) {
        scilab.report_error(error.what());
    }
}

// The dialog's check and the block's declaration, through Scilab's call():
//   name       character codes of the S-function name, name_length of them
//   layout     per parameter: class (0 double, 1 complex, 2 logical, 3 char,
//              4 int32, 5 sparse), rows, columns
//   values     every parameter's elements in turn, column-major: doubles,
//              for complex all real parts then all imaginary parts,
//              logicals as 0 and 1, characters and integers as their codes
//   message    the block's refusal as character codes, 0-terminated
//              (message[0] is 0 when the block accepts the parameters)
//   declared   inputs, outputs, continuous states, sample time (0 continuous,
//              -1 inherited), then per input its width
//              and feedthrough, then per output its width and Xcos data type
//              (at most declared_length numbers)
__attribute__((visibility("default"))) void engine_sfunction_declare(
    const int* name, const int* name_length, const int* parameter_count, const int* layout, const double* values,
    int* message, const int* message_length, double* declared, const int* declared_length) {
    auto write_message = [&](const std::string& text) {
        const int n = std::min(static_cast<int>(text.size()), *message_length - 1);
        for (int i = 0; i < n; ++i) message[i] = static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
        message[n] = 0;
    };
    write_message("");
    std::fill(declared, declared + *declared_length, 0.0);
    try {
        const std::string sfunction(name, name + *name_length);
        std::vector<host::ArrayPtr> parameters;
        const double* next = values;
        for (int p = 0; p < *parameter_count; ++p) {
            const int kind = layout[3 * p];
            if (kind < 0 || kind > static_cast<int>(ParameterKind::sparse))
                throw host::HostError("unknown parameter class " + std::to_string(kind));
            const auto rows = static_cast<mwSize>(layout[3 * p + 1]);
            const auto cols = static_cast<mwSize>(layout[3 * p + 2]);
            const std::size_t n = rows * cols;
            parameters.push_back(dialog_parameter(
                static_cast<ParameterKind>(kind), rows, cols, p + 1, [&](std::size_t i) { return next[i]; },
                [&](std::size_t i) { return next[n + i]; }));
            next += kind == static_cast<int>(ParameterKind::complex) ? 2 * n : n;
        }
        const auto settled = settled_instance(sfunction, sfunction, std::move(parameters));
        const host::SFunctionInstance& instance = *settled;
        std::vector<double> numbers{static_cast<double>(instance.num_inputs()),
                                    static_cast<double>(instance.num_outputs()),
                                    static_cast<double>(instance.num_cont_states()), instance.sample_time()};
        for (int port = 0; port < instance.num_inputs(); ++port) {
            numbers.push_back(instance.input(port).width);
            numbers.push_back(instance.input(port).direct_feedthrough ? 1.0 : 0.0);
        }
        for (int port = 0; port < instance.num_outputs(); ++port) {
            numbers.push_back(instance.output(port).width);
            numbers.push_back(xcos_signal_type(instance, port));
        }
        if (static_cast<int>(numbers.size()) > *declared_length)
            throw host::HostError(instance.label() + " declares more ports than the dialog can take");
        std::copy(numbers.begin(), numbers.end(), declared);
    } catch (const host::BlockError& error) {
        write_message(error.message());
    } catch (const std::exception& error) {
        write_message(error.what());
    }
}

}  // extern "C"

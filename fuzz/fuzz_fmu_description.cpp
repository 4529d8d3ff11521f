// The FMU model-description reader over any bytes. Asserted: it fails only
// with the host's errors, naming the FMU; a description it reads offers an
// interface, and its structure refers to its own variables only.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "host/fmu/archive.hpp"
#include "host/fmu/description.hpp"
#include "scratch.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string xml(reinterpret_cast<const char*>(data), size);
    host::FmuDescription d;
    try {
        d = host::parse_description(xml, "fuzz.fmu");
    } catch (const host::FmuError& error) {
        if (std::string(error.what()).rfind("fuzz.fmu: modelDescription.xml: ", 0) != 0) std::abort();
        return 0;
    }
    if (!d.model_exchange && !d.co_simulation) std::abort();
    if ((d.version == host::FmiVersion::fmi2) != (d.fmi_version == "2.0")) std::abort();
    std::set<std::string> names;
    for (const auto& v : d.variables) {
        if (!names.insert(v.name).second) std::abort();
        if (v.derivative_of && *v.derivative_of >= d.variables.size()) std::abort();
        if (v.width() == 0 && v.dimensions.empty()) std::abort();
    }
    for (std::size_t i : d.outputs)
        if (i >= d.variables.size()) std::abort();
    for (std::size_t i : d.states())
        if (i >= d.variables.size()) std::abort();
    return 0;
}

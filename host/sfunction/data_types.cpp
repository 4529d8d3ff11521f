#include "host/sfunction/data_types.hpp"

#include <cstdint>
#include <cstring>

#include "simstruc.h"

namespace host {

static_assert(inherited_type_id == DYNAMICALLY_TYPED && double_type_id == SS_DOUBLE && int32_type_id == SS_INT32);
static_assert(int32_status_type_id >= SS_NUM_BUILT_IN_DTYPE, "a registered id lies past the built-in ones");

namespace {

struct DataTypeEntry {
    int id;
    DataType type;
};

constexpr DataTypeEntry data_types[] = {
    {SS_DOUBLE, {Storage::float64, 8, "double"}},
    {SS_SINGLE, {Storage::float32, 4, "single"}},
    {SS_INT8, {Storage::int8, 1, "int8"}},
    {SS_UINT8, {Storage::uint8, 1, "uint8"}},
    {SS_INT16, {Storage::int16, 2, "int16"}},
    {SS_UINT16, {Storage::uint16, 2, "uint16"}},
    {SS_INT32, {Storage::int32, 4, "int32"}},
    {SS_UINT32, {Storage::uint32, 4, "uint32"}},
    {SS_BOOLEAN, {Storage::boolean, 1, "boolean"}},
    {int32_status_type_id, {Storage::int32, 4, "int32"}},
};

template <typename T>
double load(const void* signal, std::size_t i) {
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(signal) + i * sizeof(T), sizeof(T));
    return static_cast<double>(value);
}

}  // namespace

DataType data_type(int id) {
    for (const auto& entry : data_types)
        if (entry.id == id) return entry.type;
    return {Storage::unknown, 0, "unknown"};
}

bool is_known_data_type(int id) { return data_type(id).size != 0; }

std::string data_type_label(int id) {
    if (id == inherited_type_id) return "inherited";
    const DataType type = data_type(id);
    if (type.size == 0) return "unknown id " + std::to_string(id);
    if (id >= SS_NUM_BUILT_IN_DTYPE) return std::string(type.name) + " (id " + std::to_string(id) + ")";
    return type.name;
}

double element_as_double(const void* signal, int id, std::size_t i) {
    switch (data_type(id).storage) {
        case Storage::float64: return load<double>(signal, i);
        case Storage::float32: return load<float>(signal, i);
        case Storage::int8: return load<std::int8_t>(signal, i);
        case Storage::uint8: return load<std::uint8_t>(signal, i);
        case Storage::int16: return load<std::int16_t>(signal, i);
        case Storage::uint16: return load<std::uint16_t>(signal, i);
        case Storage::int32: return load<std::int32_t>(signal, i);
        case Storage::uint32: return load<std::uint32_t>(signal, i);
        case Storage::boolean: return load<std::uint8_t>(signal, i) ? 1.0 : 0.0;
        case Storage::unknown: break;
    }
    return 0.0;
}

}  // namespace host

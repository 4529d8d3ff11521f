#include "data_types.hpp"

#include <cstdint>
#include <cstring>

namespace host {

DataType data_type(int id) {
    switch (id) {
        case 0: return {Storage::float64, 8, "double"};
        case 1: return {Storage::float32, 4, "single"};
        case 2: return {Storage::int8, 1, "int8"};
        case 3: return {Storage::uint8, 1, "uint8"};
        case 4: return {Storage::int16, 2, "int16"};
        case 5: return {Storage::uint16, 2, "uint16"};
        case 6: return {Storage::int32, 4, "int32"};
        case 7: return {Storage::uint32, 4, "uint32"};
        case 8: return {Storage::boolean, 1, "boolean"};
        case int32_status_type_id: return {Storage::int32, 4, "int32"};
        default: return {Storage::unknown, 0, "unknown"};
    }
}

bool is_known_data_type(int id) { return data_type(id).size != 0; }

std::string data_type_label(int id) {
    if (id == -1) return "inherited";
    const DataType type = data_type(id);
    if (type.size == 0) return "unknown id " + std::to_string(id);
    if (id >= 9) return std::string(type.name) + " (id " + std::to_string(id) + ")";
    return type.name;
}

namespace {
template <typename T>
double load(const void* signal, std::size_t i) {
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(signal) + i * sizeof(T), sizeof(T));
    return static_cast<double>(value);
}
}  // namespace

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

// Signal data types that the host can store, by the S-function data type id.
#pragma once

#include <cstddef>
#include <string>

namespace host {

constexpr int inherited_type_id = -1;       // a port that takes its type from its signal
constexpr int double_type_id = 0;
constexpr int int32_type_id = 6;            // the built-in 32-bit signed integer
constexpr int int32_status_type_id = 10;    // registered type id of a 32-bit signed integer

enum class Storage { float64, float32, int8, uint8, int16, uint16, int32, uint32, boolean, unknown };

struct DataType {
    Storage storage;
    std::size_t size;  // bytes per element; 0 for an unknown id
    const char* name;
};

DataType data_type(int id);
bool is_known_data_type(int id);
std::string data_type_label(int id);  // "double", "int32 (id 10)", "inherited", "unknown id 42"

// Element i of a signal of type `id`, read as a double.
double element_as_double(const void* signal, int id, std::size_t i);

}  // namespace host

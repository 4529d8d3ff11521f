#include "host/sfunction/methods.hpp"

#include "host/sfunction/method_table.hpp"

namespace host {

const char* method_name(Method method) { return method_table::entry(method).name; }

bool runs_at_a_time(Method method) {
    return method == Method::outputs || method == Method::update || method == Method::derivatives ||
           method == Method::zero_crossings || method == Method::get_time_of_next_var_hit;
}

}  // namespace host

// Runs the blower block through the host on its worked example.
#include <cstdio>
#include <exception>

#include "block.hpp"
#include "library.hpp"

int main() try {
    std::vector<host::ArrayPtr> parameters;
    parameters.push_back(host::make_double({0.7}));
    parameters.push_back(host::make_double({2, 0.5, 0.1}));
    parameters.push_back(host::make_double({0.0698}));
    host::Block blower("blower", host::Library::load("blower", {BLOCKS_LIBRARY_DIR}), std::move(parameters));
    blower.prepare();
    const double inlet[] = {100000, 350, 1};
    for (int i = 0; i < 3; ++i) blower.input_buffer(0)[i] = inlet[i];
    blower.input_buffer(1)[0] = 150000;
    blower.input_buffer(2)[0] = 1;
    blower.outputs(0.0);
    const double* in = blower.output_doubles(0);
    const double* out = blower.output_doubles(1);
    std::printf("blower: eta 0.7, [alpha beta gamma] [2 0.5 0.1], sigma 0.0698\n");
    std::printf("inlet 100000 Pa, 350 K, c 1; outlet 150000 Pa; drive 1\n");
    std::printf("inlet flow  [%.10g, %.10g, %.10g]\n", in[0], in[1], in[2]);
    std::printf("outlet flow [%.10g, %.10g, %.10g]\n", out[0], out[1], out[2]);
    std::printf("power       %.10g W\n", blower.output_doubles(2)[0]);
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "blower_example: %s\n", error.what());
    return 1;
}

// Fuzzes valve_lift with any inputs, parameters and table shapes: every
// table lives in an allocation of exactly its size, so a read past its end
// is an AddressSanitizer finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/valve_lift.hpp"

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    double number() {
        double value = 0.0;
        if (size_ >= sizeof value) {
            std::memcpy(&value, data_, sizeof value);
            data_ += sizeof value;
            size_ -= sizeof value;
        }
        return value;
    }
    std::size_t count(std::size_t most) {
        if (size_ == 0) return 0;
        const std::size_t value = *data_ % (most + 1);
        ++data_;
        --size_;
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const double crank_angle = in.number(), start_signal = in.number(), dwell_signal = in.number();
    std::vector<std::vector<double>> parameters(9);
    for (std::size_t i = 0; i < 9; ++i) {
        parameters[i].resize(i < 5 ? 1 : in.count(6));
        for (double& value : parameters[i]) value = in.number();
    }
    double lift = 0.0;
    auto data_of = [&](std::size_t i) { return parameters[i].empty() ? nullptr : parameters[i].data(); };
    blocks::valve_lift(crank_angle, start_signal, dwell_signal, &lift, data_of(0), 1, data_of(1), 1, data_of(2), 1,
                       data_of(3), 1, data_of(4), 1, data_of(5), parameters[5].size(), data_of(6),
                       parameters[6].size(), data_of(7), parameters[7].size(), data_of(8), parameters[8].size());
    blocks::profile_lookup(data_of(5), parameters[5].size(), data_of(7), parameters[7].size(), in.number());
    return 0;
}

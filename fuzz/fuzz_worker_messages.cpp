// The sweep workers' result messages, decoded from any bytes as they
// arrive. Asserted: a message is taken only when whole, nothing is
// allocated for sizes the bytes do not hold, and a decoded message encodes
// back to the very bytes it was taken from.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sweeps/sweep_wire.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string buffer(reinterpret_cast<const char*>(data), size);
    for (int messages = 0; messages < 64; ++messages) {
        const std::string before = buffer;
        const auto message = blocksim::decode_result(buffer);
        if (!message) {
            if (buffer != before) std::abort();
            break;
        }
        const std::size_t taken = before.size() - buffer.size();
        if (taken == 0 || before.compare(taken, std::string::npos, buffer) != 0) std::abort();
        if (blocksim::encode_result(message->first, message->second) != before.substr(0, taken)) std::abort();
    }
    return 0;
}

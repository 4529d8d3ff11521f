// Typed reads from a fuzzer's bytes. Numbers are 8 raw bytes (any bit
// pattern: NaN, infinities, denormals); once the bytes run out every read
// gives 0, so a short input is still a whole test case.
//
// The seed corpus is written in the same layout (fuzz/corpus/make_seeds.py):
// little-endian doubles and single bytes, in the order a harness reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace fuzzing {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool exhausted() const { return size_ == 0; }

    double number() {
        double value = 0.0;
        if (size_ >= sizeof value) {
            std::memcpy(&value, data_, sizeof value);
            data_ += sizeof value;
            size_ -= sizeof value;
        } else {
            size_ = 0;
        }
        return value;
    }

    std::uint8_t byte() {
        if (size_ == 0) return 0;
        const std::uint8_t value = *data_;
        ++data_;
        --size_;
        return value;
    }

    // 0 .. most.
    std::size_t count(std::size_t most) { return byte() % (most + 1); }

    // `count` numbers, in an allocation of exactly that size so that a read
    // past the end is an AddressSanitizer finding.
    std::vector<double> numbers(std::size_t count) {
        std::vector<double> values(count);
        for (double& value : values) value = number();
        return values;
    }

    // Raw bytes for integer and character data.
    void fill(void* destination, std::size_t bytes) {
        if (bytes == 0) return;
        const std::size_t available = bytes < size_ ? bytes : size_;
        std::memcpy(destination, data_, available);
        std::memset(static_cast<std::uint8_t*>(destination) + available, 0, bytes - available);
        data_ += available;
        size_ -= available;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Exactly equal bit patterns: tells a NaN that was passed through from one
// that was never written.
inline bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A value no routine computes, to detect outputs left unwritten.
inline double unwritten_marker() {
    const std::uint64_t bits = 0x7ff4dead0000beefULL;  // a signalling NaN with a payload
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Finite, and zero or of a magnitude within [1e-50, 1e50]: values for which
// the blocks' arithmetic can neither overflow nor lose a divisor to underflow.
inline bool moderate(double value) {
    const double magnitude = value < 0 ? -value : value;
    return magnitude == 0.0 || (magnitude >= 1e-50 && magnitude <= 1e50);
}

}  // namespace fuzzing

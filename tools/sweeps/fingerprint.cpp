#include "sweeps/fingerprint.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#include "host/common/errors.hpp"
#include "host/sfunction/library.hpp"

namespace blocksim {

namespace {

// FIPS 180-4, section 4.2.2: the first 32 bits of the fractional parts of the
// cube roots of the first 64 primes.
constexpr std::array<std::uint32_t, 64> round_constants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Section 5.3.3: the initial hash value.
constexpr std::array<std::uint32_t, 8> initial_hash = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint32_t rotate_right(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// Section 6.2.2: one 64-byte block into the hash.
void compress(std::array<std::uint32_t, 8>& hash, const unsigned char* block) {
    std::array<std::uint32_t, 64> w{};
    for (int t = 0; t < 16; ++t)
        w[t] = std::uint32_t(block[4 * t]) << 24 | std::uint32_t(block[4 * t + 1]) << 16 |
               std::uint32_t(block[4 * t + 2]) << 8 | std::uint32_t(block[4 * t + 3]);
    for (int t = 16; t < 64; ++t) {
        const std::uint32_t s0 = rotate_right(w[t - 15], 7) ^ rotate_right(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const std::uint32_t s1 = rotate_right(w[t - 2], 17) ^ rotate_right(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = hash;
    for (int t = 0; t < 64; ++t) {
        const std::uint32_t t1 = h + (rotate_right(e, 6) ^ rotate_right(e, 11) ^ rotate_right(e, 25)) +
                                 ((e & f) ^ (~e & g)) + round_constants[t] + w[t];
        const std::uint32_t t2 =
            (rotate_right(a, 2) ^ rotate_right(a, 13) ^ rotate_right(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    const std::array<std::uint32_t, 8> worked = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) hash[i] += worked[i];
}

std::string read_whole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw host::HostError("cannot read " + file.string() + ": " + std::strerror(errno));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw host::HostError("cannot read " + file.string() + ": " + std::strerror(errno));
    return bytes;
}

constexpr std::string_view line_start = "# sha256 ";

}  // namespace

std::string sha256_hex(std::string_view bytes) {
    auto hash = initial_hash;
    std::size_t whole = bytes.size() / 64 * 64;
    for (std::size_t i = 0; i < whole; i += 64) compress(hash, reinterpret_cast<const unsigned char*>(bytes.data() + i));
    // Section 5.1.1: a 1 bit, zeros, and the length in bits as 64 bits.
    std::array<unsigned char, 128> tail{};
    const std::size_t rest = bytes.size() - whole;
    std::memcpy(tail.data(), bytes.data() + whole, rest);
    tail[rest] = 0x80;
    const std::size_t blocks = rest + 9 > 64 ? 2 : 1;
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i) tail[blocks * 64 - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    for (std::size_t i = 0; i < blocks; ++i) compress(hash, tail.data() + 64 * i);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint32_t word : hash)
        for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(word >> shift) & 0xf];
    return hex;
}

std::vector<InputHash> sweep_fingerprint(const host::SweepSpec& spec) {
    std::vector<std::filesystem::path> files{spec.file};
    for (const auto& read : host::files_read(spec.model)) files.push_back(read.file);
    for (const auto& block : spec.model.blocks)
        if (block.is_sfunction) {
            const auto library = host::find_library(block.sfunction, spec.model.search_path);
            if (std::find(files.begin(), files.end(), library) == files.end()) files.push_back(library);
        }
    std::vector<InputHash> inputs;
    for (const auto& file : files) inputs.push_back({file, sha256_hex(read_whole(file))});
    return inputs;
}

std::string fingerprint_lines(const std::vector<InputHash>& inputs) {
    std::string lines;
    for (const auto& input : inputs) {
        std::string name = input.file.string();
        for (char& c : name)
            if (c == '\n' || c == '\r') c = ' ';
        lines += std::string(line_start) + input.sha256 + " " + name + "\n";
    }
    return lines;
}

std::vector<std::string> hashes_in_lines(const std::vector<std::string>& lines) {
    std::vector<std::string> hashes;
    for (const auto& line : lines)
        if (line.rfind(line_start, 0) == 0 && line.size() >= line_start.size() + 64)
            hashes.push_back(line.substr(line_start.size(), 64));
    return hashes;
}

}  // namespace blocksim

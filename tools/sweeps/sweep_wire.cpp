#include "sweeps/sweep_wire.hpp"

#include <cstring>

namespace blocksim {

namespace {

void put(std::string& out, const void* data, std::size_t size) {
    if (size > 0) out.append(static_cast<const char*>(data), size);
}

}  // namespace

std::string encode_result(std::uint64_t case_number, const CaseResult& result) {
    std::string out;
    const auto status_size = static_cast<std::uint32_t>(result.status.size());
    const auto metric_count = static_cast<std::uint32_t>(result.metrics.size());
    put(out, &case_number, sizeof case_number);
    put(out, &status_size, sizeof status_size);
    out += result.status;
    put(out, &metric_count, sizeof metric_count);
    put(out, result.metrics.data(), metric_count * sizeof(double));
    return out;
}

std::optional<std::pair<std::size_t, CaseResult>> decode_result(std::string& buffer) {
    std::size_t at = 0;
    auto take = [&](void* data, std::size_t size) {
        if (buffer.size() - at < size) return false;
        if (size > 0) std::memcpy(data, buffer.data() + at, size);  // no metrics: data may be null
        at += size;
        return true;
    };
    std::uint64_t case_number = 0;
    std::uint32_t status_size = 0, metric_count = 0;
    CaseResult result;
    if (!take(&case_number, sizeof case_number) || !take(&status_size, sizeof status_size)) return {};
    if (buffer.size() - at < status_size) return {};
    result.status.assign(buffer, at, status_size);
    at += status_size;
    if (!take(&metric_count, sizeof metric_count)) return {};
    // The metrics' bytes must be there before room is made for them.
    if ((buffer.size() - at) / sizeof(double) < metric_count) return {};
    result.metrics.resize(metric_count);
    if (!take(result.metrics.data(), metric_count * sizeof(double))) return {};
    buffer.erase(0, at);
    return std::make_pair(static_cast<std::size_t>(case_number), std::move(result));
}

}  // namespace blocksim

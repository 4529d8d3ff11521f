#include "valve_lift.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace blocks {

namespace {
constexpr double degrees_per_revolution = 360.0;
constexpr double int32_range = 2147483648.0;  // 2^31
}  // namespace

double crank_degrees(double crank_angle) { return crank_angle * 180.0 / valve_pi; }

double angle_in_revolution(double d) {
    const double f = std::floor(d);
    if (std::fabs(d) < int32_range) {
        const std::int32_t n = static_cast<std::int32_t>(f);
        const std::int32_t r = n % 360;  // truncating: keeps the sign of n
        return (r + d) - f;
    }
    // Whole degrees beyond 32 bits: fmod is the same truncating remainder,
    // exact in floating point; the fraction d - f is added last so that it
    // is not lost beside a large d. NaN and infinities come out as NaN.
    const double r = std::fmod(f, degrees_per_revolution);
    return r + (d - f);
}

double profile_lookup(const double* angles, std::size_t angle_count, const double* lifts, std::size_t lift_count,
                      double x) {
    const std::size_t points = std::min(angle_count, lift_count);
    if (points == 0) return 0.0;
    if (points == 1) return lifts[0];
    if (x > angles[points - 1]) return lifts[points - 1];
    std::size_t k = 0;  // segment from angles[k] to angles[k + 1]
    while (k + 2 < points && x > angles[k + 1]) ++k;
    // Only the first segment can be searched to with zero width (x at or
    // below a repeated first breakpoint); it has no slope to extend.
    if (angles[k + 1] == angles[k]) return lifts[k];
    return lifts[k] + ((lifts[k + 1] - lifts[k]) * (x - angles[k])) / (angles[k + 1] - angles[k]);
}

void valve_lift(double crank_angle, double start_signal, double dwell_signal, double* lift,
                const double* peak_lift, std::size_t /*peak_lift_count*/,
                const double* start_gain, std::size_t /*start_gain_count*/,
                const double* open_duration, std::size_t /*open_duration_count*/,
                const double* close_duration, std::size_t /*close_duration_count*/,
                const double* dwell_gain, std::size_t /*dwell_gain_count*/,
                const double* open_angles, std::size_t open_angles_count,
                const double* close_angles, std::size_t close_angles_count,
                const double* open_lifts, std::size_t open_lifts_count,
                const double* close_lifts, std::size_t close_lifts_count) {
    const double theta = angle_in_revolution(crank_degrees(crank_angle));
    const double start = start_signal * *start_gain;
    const double dwell = dwell_signal * *dwell_gain;
    const double total = (dwell + *open_duration) + *close_duration;
    // Strict at both ends, and not modulo 360: an event reaching past 360 is cut there.
    if (!(start < theta && theta < start + total)) {
        *lift = 0.0;
        return;
    }
    const double w = theta - start;
    double L;
    if (w <= *open_duration) {
        L = profile_lookup(open_angles, open_angles_count, open_lifts, open_lifts_count, w);
    } else if (w <= *open_duration + dwell) {
        L = 1.0;
    } else if (w <= total) {
        const double w_closing = theta - ((start + *open_duration) + dwell);
        L = profile_lookup(close_angles, close_angles_count, close_lifts, close_lifts_count, w_closing);
    } else {
        L = 0.0;
    }
    *lift = L * *peak_lift;
}

}  // namespace blocks

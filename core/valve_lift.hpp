// Exhaust valve lift over crank angle: one lift event per revolution.
//
// Degrees:    d = crank_angle [rad] * 180 / 3.14159265359
// Revolution: theta = (r + d) - f, f = floor(d), r = f mod 360 truncated toward
//             zero; for d >= 0, 0 <= theta < 360; for d < 0, -359 <= theta < 1
// Event:      start = start_signal * start_gain, dwell = dwell_signal * dwell_gain,
//             total = (dwell + open_duration) + close_duration;
//             lift is 0 unless start < theta < start + total. With w = theta - start:
//               w <= open_duration          open profile at w
//               w <= open_duration + dwell  1 (peak)
//               w <= total                  close profile at theta - ((start + open_duration) + dwell)
//             times peak_lift.
#pragma once

#include <cstddef>

namespace blocks {

// The 12-digit value of pi that the degree conversion uses.
constexpr double valve_pi = 3.14159265359;

double crank_degrees(double crank_angle);
// The degree value brought into one revolution. Degree values whose whole
// part does not fit a 32-bit integer (|d| >= 2^31) are reduced the same way
// in floating point; NaN and infinities give NaN.
double angle_in_revolution(double degrees);

// Linear interpolation in a profile table of breakpoints `angles` (strictly
// ascending) and `lifts`, over the points both arrays hold. Below the first
// breakpoint the first segment is extended; above the last one the last lift
// is held. One point gives its lift, none gives 0. A first segment of zero
// width (a repeated first breakpoint) gives its first lift below it.
double profile_lookup(const double* angles, std::size_t angle_count, const double* lifts, std::size_t lift_count,
                      double x);

// Writes the lift to *lift. Parameters, each as data and element count:
// peak_lift, start_gain, open_duration, close_duration, dwell_gain (first
// element read), open_angles, close_angles, open_lifts, close_lifts.
void valve_lift(double crank_angle, double start_signal, double dwell_signal, double* lift,
                const double* peak_lift, std::size_t peak_lift_count,
                const double* start_gain, std::size_t start_gain_count,
                const double* open_duration, std::size_t open_duration_count,
                const double* close_duration, std::size_t close_duration_count,
                const double* dwell_gain, std::size_t dwell_gain_count,
                const double* open_angles, std::size_t open_angles_count,
                const double* close_angles, std::size_t close_angles_count,
                const double* open_lifts, std::size_t open_lifts_count,
                const double* close_lifts, std::size_t close_lifts_count);

}  // namespace blocks

#!/usr/bin/env python3
"""Writes the seed corpus of the binary harnesses: the blocks' worked
examples and edge cases, in the byte layout each harness reads (see
fuzz_input.hpp and arbitrary_arrays.hpp). The model-file harness takes the
model files under examples/ and its own seeds in corpus/fuzz_model_file.

Run from anywhere: python3 fuzz/corpus/make_seeds.py"""

import base64
import math
import os
import re
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
PROJECT = os.path.dirname(os.path.dirname(HERE))
NAN, INF = float("nan"), float("inf")
PI12 = 3.14159265359  # the valve's degree conversion uses this pi


def d(*values):
    return b"".join(struct.pack("<d", v) for v in values)


def b(*values):
    return bytes(values)


def i32(*values):
    return b"".join(struct.pack("<i", v) for v in values)


def write(harness, seeds):
    folder = os.path.join(HERE, harness)
    os.makedirs(folder, exist_ok=True)
    for old in os.listdir(folder):
        if not old.startswith("finding_"):  # past findings stay, replayed as tests
            os.remove(os.path.join(folder, old))
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


# combustion_gas_properties: p, T, c
write("fuzz_gas_properties", {
    "inlet_of_worked_example": d(100000.0, 350.0, 1.0),
    "isentropic_outlet_of_worked_example": d(150000.0, 390.2427525, 1.0),
    "air_at_reference": d(100000.0, 298.15, 0.0),
    "rich_hot_high_pressure": d(5e7, 2800.0, 8.0),
    "zero_pressure_and_temperature": d(0.0, 0.0, 0.0),
    "singular_composition": d(100000.0, 350.0, -1.0 / 0.0698),
    "non_finite": d(NAN, INF, -INF),
    "denormals": d(5e-324, 5e-324, -5e-324),
})


# blower_outputs: inlet[3], outlet[3], drive, then each parameter as a byte
# giving the elements beyond those read (0..3) and its numbers.
def blower(inlet, outlet, drive, eta=(0.7,), characteristic=(2.0, 0.5, 0.1), sigma=(0.0698,)):
    return (d(*inlet) + d(*outlet) + d(drive) + b(len(eta) - 1) + d(*eta) + b(len(characteristic) - 3) +
            d(*characteristic) + b(len(sigma) - 1) + d(*sigma))


worked_inlet, worked_outlet = (100000.0, 350.0, 1.0), (150000.0, 0.0, 0.0)
write("fuzz_blower_outputs", {
    "worked_example": blower(worked_inlet, worked_outlet, 1.0),
    "drive_plus_zero": blower(worked_inlet, worked_outlet, 0.0),
    "drive_minus_zero_nan_pressures": blower((NAN, 350.0, 1.0), (NAN, 0.0, 0.0), -0.0),
    "drive_nan": blower(worked_inlet, worked_outlet, NAN),
    "negative_drive": blower(worked_inlet, worked_outlet, -1.0),
    "equal_pressures": blower(worked_inlet, (100000.0, 0.0, 0.0), 1.0),
    "zero_inlet_pressure_and_efficiency": blower((0.0, 350.0, 1.0), worked_outlet, 1.0, eta=(0.0,)),
    "longer_parameters": blower(worked_inlet, worked_outlet, 1.0, eta=(0.7, 9.0), characteristic=(2.0, 0.5, 0.1, 7.0),
                                sigma=(0.0698, 1.0, 2.0)),
})


# valve_lift: crank_angle, start_signal, dwell_signal, the five scalars, the
# four tables (a count byte, then the numbers), then a lookup point.
def valve(degrees, start=80.0, dwell=20.0, scalars=(2.0, 1.0, 40.0, 40.0, 1.0), open_angles=(0.0, 20.0, 40.0),
          close_angles=(0.0, 20.0, 40.0), open_lifts=(0.0, 0.3, 1.0), close_lifts=(1.0, 0.3, 0.0), x=10.0,
          radians=None):
    crank = radians if radians is not None else degrees * PI12 / 180.0
    data = d(crank, start, dwell) + d(*scalars)
    for table in (open_angles, close_angles, open_lifts, close_lifts):
        data += b(len(table)) + d(*table)
    return data + d(x)


seeds = {"worked_example_%g" % deg: valve(deg) for deg in (80, 90, 120, 130, 150, 180, 450)}
seeds.update({
    "two_pi_radians": valve(0.0, radians=2 * math.pi),
    "negative_degrees": valve(-10.5, start=-20.0),
    "event_past_360": valve(330.0, start=300.0, dwell=20.0),
    "huge_angle": valve(0.0, radians=1e300),
    "nan_angle": valve(0.0, radians=NAN),
    "empty_and_one_point_tables": valve(90.0, open_angles=(), open_lifts=(0.5,), close_angles=(3.0,),
                                        close_lifts=()),
    "unequal_tables": valve(130.0, close_angles=(0.0, 20.0), close_lifts=(1.0, 0.3, 0.0, 5.0)),
    "repeated_first_breakpoint": valve(85.0, open_angles=(10.0, 10.0, 40.0), x=0.0),
    "descending_breakpoints": valve(95.0, open_angles=(40.0, 20.0, 0.0)),
})
write("fuzz_valve_lift", seeds)


# controller: a sequence of calls, each a byte: 0 initialize, 1 outputs and
# 2 derivatives (each followed by x[2] and u[3]), 3 schedule search (ratio).
def evaluation(kind, x, u):
    return b(kind) + d(*x) + d(*u)


worked_u = (12520000.0, 0.9375, 1.0)
write("fuzz_controller", {
    "just_after_loading": evaluation(1, (0.0, 0.0), worked_u) + evaluation(2, (0.0, 0.0), worked_u) +
                          evaluation(1, (0.0, 0.0), worked_u),
    "clamped_both_ways": evaluation(1, (0.0, 0.0), (0.0, 0.0, 0.5)) + evaluation(1, (0.0, 0.0), (0.0, 0.0, -0.5)) +
                         evaluation(1, (0.0, 0.0), (0.0, 0.0, 0.0)),
    "reinitialized": evaluation(1, (1.0, 2.0), worked_u) + b(0) + evaluation(1, (0.0, 0.0), worked_u),
    "nan_inputs": evaluation(1, (0.0, 0.0), (NAN, NAN, 1.0)) + evaluation(2, (INF, -INF), (INF, 0.0, INF)),
    "schedule_ratios": b(3) + d(1.2) + b(3) + d(1.1) + b(3) + d(0.95) + b(3) + d(0.5) + b(3) + d(0.25) +
                       b(3) + d(-1.0) + b(3) + d(NAN),
})


# relay_step: u, upper, lower, held, above, below as doubles, then held,
# above, below as 32-bit integers.
def relay(u, upper=3.0, lower=1.0, held=0.0):
    return d(u, upper, lower, held, 0.0, 1.0) + i32(int(held), 1, 0)


write("fuzz_relay_step", {
    **{"worked_example_%g" % u: relay(u) for u in (2.0, 4.0, 0.5)},
    "on_the_thresholds": relay(3.0, held=1.0),
    "crossed_thresholds": relay(4.0, upper=3.0, lower=5.0),
    "nan_input": relay(NAN, held=1.0),
})


# Arrays as arbitrary_arrays.hpp reads them.
def array(values, rows=1):
    cols = len(values) // rows if values else 0
    return b(0, rows | (cols << 4) if values else 0) + d(*values)


def typed(kind, rows, cols, data):
    return b(kind, rows | (cols << 4)) + data


SCALAR_ZERO = array([0.0])
EMPTY = array([])


def block_records():
    """The blocks of sfun/blocks.records, in the order the harnesses index
    them, each with its dialog defaults as lists of numbers."""
    records = {}
    with open(os.path.join(PROJECT, "sfun", "blocks.records")) as lines:
        for line in lines:
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            fields = [field.strip() for field in line.split(" | ")]
            kind = fields[1].split()[0]
            if kind == "block":
                records[fields[0]] = []
            elif kind == "parameter":
                block = fields[0].split(".")[0]
                records[block].append([float(x) for x in re.findall(r"[-+]?[0-9.]+(?:e[-+]?[0-9]+)?", fields[4])])
    return records


RECORDS = block_records()
NAMES = list(RECORDS)
INDEX = {name: i for i, name in enumerate(NAMES)}
BLOCK_PARAMETERS = {INDEX[name]: [array(values) for values in RECORDS[name]] for name in NAMES}


def command_line(block, nlhs, arguments):
    return b(block, nlhs, len(arguments)) + b"".join(arguments)


seeds = {}
for block, parameters in BLOCK_PARAMETERS.items():
    name = NAMES[block]
    seeds[name + "_sizes"] = command_line(block, 1, [SCALAR_ZERO, EMPTY, EMPTY, SCALAR_ZERO] + parameters)
    seeds[name + "_two_results"] = command_line(block, 2, [SCALAR_ZERO, EMPTY, EMPTY, SCALAR_ZERO] + parameters)
    seeds[name + "_flag_1.5"] = command_line(block, 1, [SCALAR_ZERO, EMPTY, EMPTY, array([1.5])] + parameters)
    seeds[name + "_flag_int32"] = command_line(block, 1, [SCALAR_ZERO, EMPTY, EMPTY, typed(6, 1, 1, i32(0))])
    seeds[name + "_three_arguments"] = command_line(block, 1, [SCALAR_ZERO, EMPTY, EMPTY])
seeds["blower_sparse_parameter"] = command_line(INDEX["blower"], 1, [SCALAR_ZERO, EMPTY, EMPTY, SCALAR_ZERO, array([0.7]),
                                                       typed(11, 1, 3, d(2.0, 0.5, 0.1)), array([0.0698])])
seeds["blower_short_characteristic"] = command_line(INDEX["blower"], 1, [SCALAR_ZERO, EMPTY, EMPTY, SCALAR_ZERO, array([0.7]),
                                                           array([2.0, 0.5]), array([0.0698])])
seeds["Tolvane_complex_table"] = command_line(INDEX["Tolvane"], 1, [SCALAR_ZERO, EMPTY, EMPTY, SCALAR_ZERO] +
                                              BLOCK_PARAMETERS[1][:5] + [typed(0x10, 1, 1, d(1.0, 2.0))] +
                                              BLOCK_PARAMETERS[1][6:])
seeds["sarnith_char_threshold"] = command_line(INDEX["sarnith"], 1, [SCALAR_ZERO, EMPTY, EMPTY, SCALAR_ZERO, b(12, 3) + b"abc",
                                                      array([1.0])])
write("fuzz_command_line", seeds)


# Block methods: block, a count byte (below 240: the declared count), the
# parameters, then calls: 0 start, 1 initialize, 2 outputs (inputs, states,
# a major-step byte), 3 update, 4 derivatives (inputs, states), 5 terminate,
# 6 parameter change (index byte, array).
INPUTS = {0: [100000.0, 350.0, 1.0, 150000.0, 0.0, 0.0, 1.0], 1: [90 * PI12 / 180, 80.0, 20.0],
          2: list(worked_u), 3: [4.0], 4: [4.0]}
STATES = {2: [0.0, 0.0]}


def methods(block, calls):
    return b(block, 0) + b"".join(BLOCK_PARAMETERS[block]) + b"".join(calls)


def outputs(block, inputs=None, states=None):
    return b(2) + d(*(inputs if inputs is not None else INPUTS[block])) + d(*STATES.get(block, [])
                                                                           if states is None else states) + b(0)


def derivatives(block):
    return b(4) + d(*INPUTS[block]) + d(*STATES.get(block, []))


seeds = {}
for block in BLOCK_PARAMETERS:
    name = NAMES[block]
    seeds[name + "_run"] = methods(block, [b(0), b(1), outputs(block), b(3), derivatives(block), outputs(block),
                                           b(3), b(5)])
seeds["Brisquel_outputs_before_initialize"] = methods(INDEX["Brisquel"], [outputs(INDEX["Brisquel"]), derivatives(INDEX["Brisquel"]), b(1), outputs(INDEX["Brisquel"])])
seeds["blower_drive_zero"] = methods(INDEX["blower"], [b(0), outputs(INDEX["blower"], [NAN, NAN, 1.0, NAN, 0.0, 0.0, -0.0])])
seeds["sarnith_threshold_changed_to_empty"] = methods(INDEX["sarnith"], [b(1), b(6, 0) + EMPTY, outputs(INDEX["sarnith"]), b(3)])
seeds["quorvel_threshold_changed"] = methods(INDEX["quorvel"], [b(1), b(6, 1) + array([5.0]), outputs(INDEX["quorvel"], [4.5]), b(3)])
seeds["Tolvane_table_changed_to_one_point"] = methods(INDEX["Tolvane"], [b(6, 5) + array([3.0]), outputs(INDEX["Tolvane"])])
seeds["blower_wrong_parameter_count"] = b(0, 241) + array([0.7])
write("fuzz_block_methods", seeds)


# ---- The readers and blocksim's own code: text seeds, and the byte layouts
# of their harnesses.
EXAMPLES = os.path.join(HERE, "..", "..", "examples")


def example(name):
    with open(os.path.join(EXAMPLES, name), "rb") as source:
        return source.read()


def text(value):
    """A length byte and the bytes, as the name-taking harnesses read a text."""
    data = value.encode() if isinstance(value, str) else value
    return b(len(data)) + data


stiff = (b"solver: {method: bdf, stop: 2, rtol: 1e-6, atol: 1e-9}\nblocks:\n  one: {type: Constant, value: 1}\n"
         b"  fast: {type: Lag, time_constant: 1e-5}\n  slow: {type: Lag, time_constant: 1}\n"
         b"connections:\n  - one.0 -> fast.0\n  - fast.0 -> slow.0\nlog: {interval: 0.5, signals: [slow.0]}\n")
seeds = {"stiff_bdf": b(2) + stiff, "stiff_ode45": b(0) + stiff}
for method, model in enumerate(["sarnith.yaml", "brisquel.yaml", "tolvane.yaml"]):
    seeds[model.replace(".yaml", "")] = b(method) + example(model)
write("fuzz_variable_step", seeds)

write("fuzz_table_file", {
    "relay_inputs": example("relay_inputs.csv"),
    "header_and_comment": b"# a comment\ntime,u,v\n0,1,2\n1,3,4\n",
    "beyond_double": b"0,1e400\n1,2\n",
    "subnormal": b"0,1e-310\n1,2\n",
    "step": b"0,1\n1,2\n1,3\n2,3\n",
    "time_three_times": b"0,1\n1,2\n1,3\n1,4\n",
    "ragged": b"0,1,2\n1,3\n",
    "blank_cells": b"0,,\n, ,1\n",
})

write("fuzz_parameter_text", {
    "double": b"0.7", "list": b"[2, 0.5, 0.1]", "int32": b"{int32: 3}", "char": b"{char: abc}",
    "complex": b"{complex: [[1, 2], [3, 4]]}", "logical": b"{logical: [true, false]}",
    "sparse": b"{sparse: [1, 0, 2]}", "empty": b"[]", "alias": b"&a [1, 2]", "beyond_int32": b"{int32: 4e9}",
})

write("fuzz_sweep_file", {
    "engine_sweep": example("engine_sweep.yaml"),
    "lhs": b"model: engine.yaml\nvary:\n  - {block: fan, parameter: 1, range: [0.6, 0.8]}\n"
           b"  - {block: scavenge, key: time_constant, range: [1, 2]}\ndesign: lhs\nruns: 5\nseed: 3\n"
           b"metrics:\n  power: {signal: fan.2, of: max}\n",
    "unknown_block": b"model: engine.yaml\nvary:\n  - {block: fna, parameter: 1, values: [1]}\n",
})

HEADER = (b"case,fan.parameter1,fan.parameter2[1],scavenge.time_constant,power_max,flow_max,energy,scavenge_mean,"
          b"command_final,status\n")
ROWS = [b"%d,0.72,0.9,1.5,%d,0.25,7,0.55,0.85,ok\n" % (case, 100 + case) for case in range(18)]
write("fuzz_shard_merge", {
    "one_shard": b(0) + HEADER + b"".join(ROWS),
    "two_shards": b(1) + HEADER + b"".join(ROWS[0::2]) + b"\0" + HEADER + b"".join(ROWS[1::2]),
    "three_shards_one_cut": b(2) + HEADER + b"".join(ROWS[0::3]) + b"\0" + HEADER + b"".join(ROWS[1::3])[:-9] +
                            b"\0" + HEADER + b"".join(ROWS[2::3]),
    "failed_case": b(0) + HEADER + b"".join(ROWS[:5]) + b'5,0.72,0.9,1.5,,,,,,"a, quoted" failure\n' +
                   b"".join(ROWS[6:]),
})

write("fuzz_slurm_script", {
    "plain": text("usr/bin/blocksim") + text("work/sweep.yaml") + text("work/sweep") + b(3, 1, 1) + text("--keep-runs"),
    "quotes_and_spaces": text("opt/my tools/blocksim") + text("it's a sweep.yaml") + text("out dir") + b(7, 2, 2) +
                         text("--path") + text("/a 'b'\\c"),
    "line_break": text("a\nb") + text("$(touch x)") + text("`x`") + b(1, 0, 1) + text(""),
})

write("fuzz_worker_messages", {
    "ok_with_metrics": struct.pack("<QI", 3, 2) + b"ok" + struct.pack("<I", 2) + d(1.5, NAN),
    "failed_no_metrics": struct.pack("<QI", 7, 5) + b"fails" + struct.pack("<I", 0),
    "huge_metric_count": struct.pack("<QI", 1, 2) + b"ok" + struct.pack("<I", 0xFFFFFFFF) + d(1.0),
    "two_messages": (struct.pack("<QI", 0, 2) + b"ok" + struct.pack("<I", 1) + d(2.0)) * 2,
})

write("fuzz_gnuplot_script", {
    "one_panel": text("engine.yaml") + text("engine.csv") + b(0) + text("Scavenge air") + text("t [s]") + b(1, 0, 0) +
                 text("scavenge.0[0]") + b(0),
    # A NUL in a name cut the message that refused it short.
    "finding_nul_in_name": base64.b64decode("C2VulWluZS55YW1sCmVuj4+Pj49naW5lLmNzdgAMU2NhdmVuZ2UgYWlyBXQgW3NdAQAADXNjYXZlbmdlLjBbMF0A"),
    "odd_names": text("it's") + text("a \\ b.csv") + b(1) + text("$(x) `y` !z") + text("'") + b(0, 1) + d(0, 720) +
                 b(1, 1) + text("\"q\"") + b(1) + text("p") + text("x") + b(1, 0, 0, 2) + text("n\nm") + b(0),
})

write("fuzz_options", {
    "run": b"engine.yaml\0--solver\0ode45\0--rtol\0" + b"1e-6\0--out\0e.csv\0--no-plot",
    "run_mistakes": b"--stop\0fast\0--bogus\0a\0b",
    "sweep_shard": b"sweep.yaml\0--shard\x003/4\0--jobs\x002\0--keep-runs\0--force",
    "sweep_modes": b"sweep.yaml\0--merge\0out\0--slurm\0--tasks\x000",
    "control_character": b"--out\0a\nb.csv",
})

def parameter(kind, rows, cols, values):
    """A dialog parameter as fuzz_xcos_block reads it: each value a whole
    number of -2 .. 5 (b(0, v + 2)) or any double (b(1) and its bytes)."""
    return b(kind, rows, cols) + b"".join(b(0, int(v) + 2) if v == int(v) and -2 <= v <= 5 else b(1) + d(v)
                                          for v in values)


# After the parameters: whether a port is one element off, then per step
# each input element (b(0, v): v * 1e5) and the phase.
write("fuzz_xcos_block", {
    "sarnith_run": b(3, 0) + parameter(0, 1, 1, [3]) + parameter(0, 1, 1, [1]) + b(1, 0, 2, 1, 0, 4, 1, 0, 1, 1),
    "quorvel_run": b(4, 0) + parameter(0, 1, 1, [3]) + parameter(0, 1, 1, [1]) + b(1, 0, 4, 1, 0, 1, 1, 0, 3, 1),
    "blower_run": b(0, 0) + parameter(0, 1, 1, [0.72]) + parameter(0, 1, 3, [4.2, 0.9, 0.3]) +
                  parameter(0, 1, 1, [0.0698]) + b(1) + b(0, 1, 0, 3, 0, 0) * 3 + b(1),
    "tolvane_run": b(1, 0) + parameter(0, 1, 1, [0.1]) + parameter(0, 1, 1, [1]) + parameter(0, 1, 1, [50]) +
                   parameter(0, 1, 1, [60]) + parameter(0, 1, 1, [1]) + parameter(0, 1, 5, [0, 10, 25, 40, 50]) +
                   parameter(0, 1, 5, [0, 15, 30, 45, 60]) + parameter(0, 1, 5, [0, 0.1, 0.45, 0.85, 1]) +
                   parameter(0, 1, 5, [1, 0.8, 0.45, 0.12, 0]) + b(1, 0, 2, 0, 1, 0, 0, 1),
    "brisquel_run": b(2, 0) + b(1) + b(0, 125, 0, 9, 0, 10) + b(1),
    "quorvel_int32": b(4, 0) + parameter(4, 1, 1, [3]) + parameter(0, 1, 1, [1]) + b(1, 0, 2, 1),
    "sarnith_text": b(3, 0) + b(3, 0, 3) + b"abc" + parameter(0, 1, 1, [1]),
    "brisquel_parameter_given": b(2, 7, 1) + parameter(0, 1, 1, [1]),
    "blower_complex": b(0, 0) + parameter(1, 1, 1, [1, 0]) + parameter(0, 1, 3, [2, 0, 0]) + parameter(0, 1, 1, [0]),
})


# ---- The blocks' FMU libraries: sequences of FMI 2.0 and 3.0 calls, one
# record per call as fuzz_fmu_calls.cpp reads it (op, instance picks, value
# references, values, integers, an array, times, the token, then the call's
# own bytes). All five harnesses share these seeds.
FMU_SPECIAL = [0.0, 1.0, -1.0, 0.5, 1e5, 350.0, 1.5707963267948966, 1e300, -1e-320, float("nan"), float("inf"),
               0.01, 1e-3]


def fmu_value(x):
    for index, special in enumerate(FMU_SPECIAL):
        if struct.pack("<d", special) == struct.pack("<d", x):
            return b(index)
    return b(255) + d(x)


def fmu_call(op, refs=(), values=None, ints=None, array=(), null=False, t=0.0, h=0.0, token=True, extra=b""):
    values = list(values) if values is not None else [0.0] * len(refs)
    ints = list(ints) if ints is not None else [0] * len(refs)
    return (b(op, 0, 0, len(refs)) + bytes(refs) + b"".join(fmu_value(v) for v in values) +
            bytes(v + 128 for v in ints) + b(len(array)) + b"".join(fmu_value(v) for v in array) +
            b(0 if null else 1) + fmu_value(t) + fmu_value(h) + b(1 if token else 0) + extra)


CS2, ME2 = b(1, 1), b(0, 1)           # fmi2Instantiate: the type byte, the resource URI byte
CS3, ME3 = b(1, 1), b(0)              # fmi3Instantiate*: the interface byte (and no event mode)
seeds = {
    "fmi2_co_simulation": b"".join([
        fmu_call(0, extra=CS2), fmu_call(2), fmu_call(3), fmu_call(4),
        fmu_call(5, refs=[1, 2], values=[1e5, 350.0]), fmu_call(9, t=0.0, h=0.01), fmu_call(6, refs=[1, 8]),
        fmu_call(9, t=0.01, h=0.01), fmu_call(11), fmu_call(10), fmu_call(1)]),
    "fmi2_model_exchange": b"".join([
        fmu_call(0, extra=ME2), fmu_call(2), fmu_call(3), fmu_call(4), fmu_call(13),
        fmu_call(14, array=[0.5, -1.0]), fmu_call(15, array=[0.0, 0.0]), fmu_call(16), fmu_call(17, t=0.01),
        fmu_call(12), fmu_call(5, refs=[9], values=[1.0]), fmu_call(1)]),
    "fmi3_co_simulation": b"".join([
        fmu_call(18, extra=CS3), fmu_call(20), fmu_call(21),
        fmu_call(22, refs=[1], array=[1e5]), fmu_call(26, t=0.0, h=0.01), fmu_call(23, refs=[1, 8], array=[0.0, 0.0]),
        fmu_call(22, refs=[10], array=[0.0, 0.5, 1.0]), fmu_call(25, refs=[2], ints=[0]),
        fmu_call(28), fmu_call(27), fmu_call(19)]),
    "fmi3_model_exchange": b"".join([
        fmu_call(18, extra=ME3), fmu_call(20), fmu_call(21), fmu_call(30), fmu_call(31, array=[0.5, -1.0]),
        fmu_call(32, array=[0.0, 0.0]), fmu_call(33), fmu_call(29), fmu_call(22, refs=[9], array=[1.0]),
        fmu_call(19)]),
    "both_side_by_side": b"".join([
        fmu_call(0, extra=CS2), fmu_call(18, extra=CS3), fmu_call(2), fmu_call(3), fmu_call(20), fmu_call(4),
        fmu_call(21), fmu_call(9, h=0.5), fmu_call(26, h=0.5), fmu_call(10), fmu_call(27)]),
    "refusals": b"".join([
        fmu_call(0, token=False, extra=CS2), fmu_call(18, token=False, extra=CS3), fmu_call(18, extra=b(1, 0)),
        fmu_call(0, extra=CS2), fmu_call(4), fmu_call(9, h=1e300), fmu_call(5, refs=[200], values=[1.0]),
        fmu_call(3), fmu_call(5, refs=[1], values=[float("nan")]), fmu_call(4), fmu_call(9, t=1.0, h=0.01),
        fmu_call(9, h=1e300), fmu_call(14, array=[1.0], null=True), fmu_call(10), fmu_call(10)]),
}
write("fuzz_fmu_calls", seeds)

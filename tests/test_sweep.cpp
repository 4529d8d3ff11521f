// blocksim sweep: its designs, the summary a user reads, the mistakes a
// sweep file can hold, and results that do not depend on how the cases are
// split over workers and shards.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <set>

#include "blocksim_fixture.hpp"
#include "host/model/sweep_file.hpp"
#include "sweeps/fingerprint.hpp"
#include "sweeps/sweep_design.hpp"
#include "sweeps/sweep_summary.hpp"

namespace {

// ---- Designs

host::SweepEntry range_entry(double low, double high, int count = 0) {
    host::SweepEntry entry;
    entry.range = std::make_pair(low, high);
    entry.count = count;
    return entry;
}

TEST(SweepDesign, GridVariesTheLastEntryFastestAndHitsBothEndsOfARange) {
    host::SweepSpec spec;
    host::SweepEntry listed;
    listed.values = {10, 20};
    spec.vary = {listed, range_entry(0.5, 1.5, 3)};
    const auto cases = blocksim::sweep_cases(spec);
    const std::vector<blocksim::SweepCase> expected = {{10, 0.5}, {10, 1.0}, {10, 1.5},
                                                       {20, 0.5}, {20, 1.0}, {20, 1.5}};
    EXPECT_EQ(expected, cases);
    // 0.1 + (0.7 - 0.1) * 2 / 2 is not exactly 0.7 in doubles: the last point is the end itself.
    EXPECT_EQ(0.7, blocksim::grid_values(range_entry(0.1, 0.7, 3)).back());
}

TEST(SweepDesign, LatinHypercubeHasOneCaseInEveryStratumOfEveryRange) {
    std::mt19937 random(20261208);
    for (int trial = 0; trial < 200; ++trial) {
        const int runs = 1 + static_cast<int>(random() % 60);
        std::vector<std::pair<double, double>> ranges;
        const int dimensions = 1 + static_cast<int>(random() % 4);
        for (int d = 0; d < dimensions; ++d) {
            const double low = std::uniform_real_distribution<double>(-100, 100)(random);
            ranges.emplace_back(low, low + std::uniform_real_distribution<double>(1e-3, 50)(random));
        }
        const auto cases = blocksim::latin_hypercube(ranges, runs, random());
        ASSERT_EQ(static_cast<std::size_t>(runs), cases.size());
        for (int d = 0; d < dimensions; ++d) {
            const auto [low, high] = ranges[static_cast<std::size_t>(d)];
            std::set<int> strata;
            for (const auto& c : cases) {
                const double value = c[static_cast<std::size_t>(d)];
                ASSERT_GE(value, low);
                ASSERT_LE(value, high);
                strata.insert(std::min(runs - 1, static_cast<int>((value - low) / (high - low) * runs)));
            }
            EXPECT_EQ(static_cast<std::size_t>(runs), strata.size()) << "trial " << trial << ", range " << d;
        }
    }
}

TEST(SweepDesign, LatinHypercubeIsReproducibleFromItsSeed) {
    const std::vector<std::pair<double, double>> ranges = {{0, 1}, {-5, 5}};
    EXPECT_EQ(blocksim::latin_hypercube(ranges, 25, 7), blocksim::latin_hypercube(ranges, 25, 7));
    EXPECT_NE(blocksim::latin_hypercube(ranges, 25, 7), blocksim::latin_hypercube(ranges, 25, 8));
    // The first draws of seed 7, pinned so that another platform's or
    // library's random numbers cannot change a user's design unnoticed.
    const auto cases = blocksim::latin_hypercube(ranges, 4, 7);
    std::mt19937_64 reference(7);
    // Stratum permutation of range 0, drawn as the design draws it (4 > 3 > 2).
    std::vector<int> strata{0, 1, 2, 3};
    for (std::size_t i = 4; i > 1; --i) {
        std::uint64_t draw;
        do draw = reference();
        while (draw >= UINT64_MAX - UINT64_MAX % i);
        std::swap(strata[i - 1], strata[draw % i]);
    }
    const double u = static_cast<double>(reference() >> 11) * 0x1.0p-53;
    EXPECT_EQ((strata[0] + u) / 4, cases[0][0]);
}

// ---- The command

// A model whose metrics are known exactly: x' = gain * level from x = 0,
// so x(t) = gain * level * t, which Euler steps of 0.25 s hit exactly.
const char* const ramp_model = R"(solver: {method: ode1, step: 0.25, stop: 2}
blocks:
  level: {type: Constant, value: 3}
  gain:  {type: Gain, gain: 1}
  x:     {type: Integrator}
  fault: {sfunction: failer, parameters: [100]}
connections:
  - level.0 -> gain.0
  - gain.0 -> x.0
  - x.0 -> fault.0
log:
  signals: [x.0]
)";

// The standard's own examples (FIPS 180-4's example appendix values), and
// every message length across the padding's block boundaries against
// coreutils' sha256sum.
TEST(Fingerprint, Sha256GivesTheStandardsValues) {
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", blocksim::sha256_hex(""));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", blocksim::sha256_hex("abc"));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              blocksim::sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
              blocksim::sha256_hex(std::string(1000000, 'a')));
    std::mt19937 random(20261209);
    const fs::path file = fs::temp_directory_path() / "blocksim_sha256_message";
    for (std::size_t length : {1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000}) {
        std::string message(length, '\0');
        for (char& c : message) c = static_cast<char>(random() & 0xff);
        std::ofstream(file, std::ios::binary) << message;
        FILE* pipe = popen(("sha256sum " + file.string()).c_str(), "r");
        char hex[65] = {};
        ASSERT_EQ(1, std::fscanf(pipe, "%64s", hex));
        pclose(pipe);
        EXPECT_EQ(std::string(hex), blocksim::sha256_hex(message)) << length << " bytes";
    }
    fs::remove(file);
}

class Sweep : public Blocksim {
protected:
    void SetUp() override {
        Blocksim::SetUp();
        write("ramp.yaml", ramp_model);
    }
    // blocksim sweep with the test blocks' folder on the search path.
    Result sweep(const std::string& arguments) const {
        return blocksim("sweep " + arguments + " --path " + shell_word(TEST_BLOCKS_DIR));
    }
    std::string text(const fs::path& file) const {
        std::ifstream in(directory_ / file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A shard without the comment lines of its fingerprint.
    static std::string without_fingerprint(const std::string& shard) {
        std::stringstream lines(shard);
        std::string line, rest;
        while (std::getline(lines, line))
            if (line.empty() || line[0] != '#') rest += line + "\n";
        return rest;
    }
};

const char* const grid_sweep = R"(model: ramp.yaml
vary:
  - {block: gain, key: gain, values: [1, 2]}
  - {block: level, key: value, range: [1, 3], count: 3}
metrics:
  last: {signal: x.0, of: final}
  least: {signal: x.0, of: min}
  most: {signal: "x.0[0]", of: max}
  average: {signal: x.0, of: mean}
  area: {signal: x.0, of: integral}
)";

TEST_F(Sweep, SummaryHoldsEachCaseWithItsValuesAndExactMetrics) {
    write("grid.yaml", grid_sweep);
    const Result result = sweep("grid.yaml --no-plot --jobs 2");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("ran 6 cases of grid.yaml on 2 workers in ")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find(" s: 6 ok, 0 failed\nwrote grid/summary.csv (6 rows)\n"))
        << result.output;
    // x = k t over t in [0, 2]: final 2k, min 0, max 2k, mean k, integral 2k.
    EXPECT_EQ("case,gain.gain,level.value,last,least,most,average,area,status\n"
              "0,1,1,2,0,2,1,2,ok\n"
              "1,1,2,4,0,4,2,4,ok\n"
              "2,1,3,6,0,6,3,6,ok\n"
              "3,2,1,4,0,4,2,4,ok\n"
              "4,2,2,8,0,8,4,8,ok\n"
              "5,2,3,12,0,12,6,12,ok\n",
              text("grid/summary.csv"));
}

TEST_F(Sweep, NumbersReadBackExactly) {
    write("lhs.yaml", "model: ramp.yaml\nvary:\n  - {block: gain, key: gain, range: [0.1, 0.7]}\n"
                      "design: lhs\nruns: 5\nseed: 3\nmetrics:\n  area: {signal: x.0, of: integral}\n");
    ASSERT_EQ(0, sweep("lhs.yaml --no-plot --jobs 1").status);
    const auto cases = blocksim::latin_hypercube({{0.1, 0.7}}, 5, 3);
    std::stringstream rows(text("lhs/summary.csv"));
    std::string line;
    std::getline(rows, line);
    for (const auto& c : cases) {
        ASSERT_TRUE(std::getline(rows, line));
        std::stringstream cells(line);
        std::string number, value;
        std::getline(cells, number, ',');
        std::getline(cells, value, ',');
        EXPECT_EQ(c[0], std::stod(value)) << line;  // bit for bit
    }
}

TEST_F(Sweep, ResultsDoNotDependOnWorkersOrShards) {
    write("grid.yaml", grid_sweep);
    ASSERT_EQ(0, sweep("grid.yaml --no-plot --jobs 1 --out one").status);
    ASSERT_EQ(0, sweep("grid.yaml --no-plot --jobs 3 --out three").status);
    for (int shard = 0; shard < 4; ++shard) {
        const Result result = sweep("grid.yaml --jobs 2 --out shards --shard " + std::to_string(shard) + "/4");
        ASSERT_EQ(0, result.status) << result.output;
    }
    EXPECT_EQ("case,gain.gain,level.value,last,least,most,average,area,status\n1,1,2,4,0,4,2,4,ok\n5,2,3,12,0,12,6,12,ok\n",
              without_fingerprint(text("shards/summary.1-of-4.csv")));
    const Result merged = sweep("grid.yaml --merge shards --no-plot");
    ASSERT_EQ(0, merged.status) << merged.output;
    EXPECT_EQ("merged 4 shards into shards/summary.csv (6 rows): 6 ok, 0 failed\n", merged.output);
    const std::string one = text("one/summary.csv");
    EXPECT_FALSE(one.empty());
    EXPECT_EQ(one, text("three/summary.csv"));
    EXPECT_EQ(one, text("shards/summary.csv"));
}

TEST_F(Sweep, MergeNamesWhatIsMissing) {
    write("grid.yaml", grid_sweep);
    ASSERT_EQ(0, sweep("grid.yaml --out shards --shard 0/3").status);
    ASSERT_EQ(0, sweep("grid.yaml --out shards --shard 2/3").status);
    Result result = sweep("grid.yaml --merge shards");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: cannot merge shards: missing summary.1-of-3.csv (run those shards with --shard K/3)\n",
              result.output);
    // A shard cut short: its last row gone.
    ASSERT_EQ(0, sweep("grid.yaml --out shards --shard 1/3").status);
    std::string shard = text("shards/summary.1-of-3.csv");
    shard.erase(shard.rfind('\n', shard.size() - 2) + 1);
    write("shards/summary.1-of-3.csv", shard);
    result = sweep("grid.yaml --merge shards");
    EXPECT_EQ("blocksim: error: shards/summary.1-of-3.csv is incomplete: it holds 1 of its 2 cases; run it again "
              "with --shard 1/3\n",
              result.output);
    EXPECT_FALSE(fs::exists(directory_ / "shards" / "summary.csv"));
}

TEST_F(Sweep, AFailingCaseIsReportedInItsRowAndTheSweepGoesOn) {
    write("faults.yaml", "model: ramp.yaml\nvary:\n  - {block: fault, parameter: 1, values: [100, 1.5, -.inf, 100]}\n"
                         "metrics:\n  last: {signal: x.0, of: final}\n");
    const Result result = sweep("faults.yaml --jobs 2 --no-plot");
    EXPECT_EQ(1, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("2 ok, 2 failed")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("blocksim: 2 of 4 cases failed: 1, 2; see faults/summary.csv\n"))
        << result.output;
    EXPECT_EQ("case,fault.parameter1,last,status\n"
              "0,100,6,ok\n"
              "1,1.5,,block 'fault' (S-function 'failer') failed in mdlOutputs at t = 1.5: simulated failure\n"
              "2,-inf,,the worker running this case killed by signal 6 (Aborted)\n"
              "3,100,6,ok\n",
              text("faults/summary.csv"));
}

TEST_F(Sweep, AMetricThatIsInfOrNanIsAWarningNotAPlainOk) {
    write("blowup.yaml", "model: ramp.yaml\nvary:\n  - {block: level, key: value, values: [1, .inf, .nan]}\n"
                         "metrics:\n  last: {signal: x.0, of: final}\n  least: {signal: x.0, of: min}\n");
    const Result result = sweep("blowup.yaml --jobs 1 --no-plot");
    EXPECT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find(" s: 1 ok, 2 with a warning, 0 failed\n")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("blocksim: warning: 2 of 3 cases have a metric that is inf or nan: "
                                                    "1, 2; see blowup/summary.csv\n"))
        << result.output;
    EXPECT_EQ("case,level.value,last,least,status\n"
              "0,1,2,0,ok\n"
              "1,inf,inf,0,warning: last is inf\n"
              "2,nan,nan,nan,warning: last is nan and least is nan\n",
              text("blowup/summary.csv"));
    // A merge reads the warnings back from the shards' rows.
    for (int shard = 0; shard < 2; ++shard)
        ASSERT_EQ(0, sweep("blowup.yaml --out shards --shard " + std::to_string(shard) + "/2").status);
    const Result merged = sweep("blowup.yaml --merge shards --no-plot");
    EXPECT_EQ(0, merged.status);
    EXPECT_EQ("merged 2 shards into shards/summary.csv (3 rows): 1 ok, 2 with a warning, 0 failed\n"
              "blocksim: warning: 2 of 3 cases have a metric that is inf or nan: 1, 2; see shards/summary.csv\n",
              merged.output);
}

TEST_F(Sweep, ThePlotTicksTheVariedValuesAndNotesTheCasesLeftOut) {
    write("blowup.yaml", "model: ramp.yaml\nvary:\n  - {block: level, key: value, values: [1, 1.000001, .inf]}\n"
                         "metrics:\n  last: {signal: x.0, of: final}\n");
    ASSERT_EQ(0, sweep("blowup.yaml --no-plot").status);
    const host::SweepSpec spec = host::read_sweep_file(directory_ / "blowup.yaml");
    const std::string script = blocksim::summary_plot_script(spec, directory_ / "blowup" / "summary.csv");
    EXPECT_NE(std::string::npos, script.find("set xtics ('1' 1, '1.000001' 1.000001)\n")) << script;
    // The metrics 2 and 2.000002 differ in the seventh digit: the y ticks have
    // two digits more than the ratio of their size to their span (just over 1e6).
    EXPECT_NE(std::string::npos, script.find("set format y '%.9g'\n")) << script;
    EXPECT_NE(std::string::npos, script.find("set title '1 of 3 cases left out: failed, or a value inf or nan'\n"))
        << script;
}

TEST_F(Sweep, TheSlurmSectionBecomesSbatchLinesOfBothJobs) {
    write("cluster.yaml", std::string(grid_sweep) +
                              "slurm:\n  time: \"00:30:00\"\n  partition: short\n  account: engines\n  qos: low\n"
                              "  options: [--mem=4G, --exclusive]\n");
    const Result result = sweep("cluster.yaml --slurm --tasks 2 --out jobs");
    ASSERT_EQ(0, result.status) << result.output;
    const std::string lines = "#SBATCH --time=00:30:00\n#SBATCH --partition=short\n#SBATCH --account=engines\n"
                              "#SBATCH --qos=low\n#SBATCH --mem=4G\n#SBATCH --exclusive\n";
    for (const char* script : {"jobs/sweep.sbatch", "jobs/merge.sbatch"}) {
        const std::string text = this->text(script);
        EXPECT_NE(std::string::npos, text.find("#SBATCH --output=/dev/null\n" + lines)) << text;
    }
    const struct {
        const char* section;
        const char* message;
    } mistakes[] = {
        {"slurm:\n  account: \"my group\"\n",
         "cluster.yaml:12: account 'my group' must be one word without blanks, quotes or '#': sbatch reads an #SBATCH "
         "line word by word"},
        {"slurm:\n  options: [mem=4G]\n",
         "cluster.yaml:12: slurm option 'mem=4G' is no option: write it as on sbatch's command line, as --mem=4G"},
        {"slurm:\n  tme: \"1:00:00\"\n",
         "cluster.yaml:12: unknown key 'tme' in slurm (did you mean 'time'?) (known: account, options, partition, "
         "qos, time)"},
    };
    for (const auto& mistake : mistakes) {
        write("cluster.yaml", std::string(grid_sweep) + mistake.section);
        const Result refused = sweep("cluster.yaml --slurm --out jobs");
        EXPECT_EQ(1, refused.status);
        EXPECT_EQ("blocksim: error: " + std::string(mistake.message) + "\n", refused.output);
    }
}

TEST_F(Sweep, RunFilesThatCannotBeWrittenFailTheirCasesAndTheSweep) {
    write("grid.yaml", grid_sweep);
    write("grid/runs", "a file where the runs' folder would be\n");
    const Result result = sweep("grid.yaml --keep-runs --no-plot");
    EXPECT_EQ(1, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("0 ok, 6 failed")) << result.output;
    EXPECT_NE(std::string::npos,
              result.output.find("blocksim: 6 of 6 cases failed: 0, 1, 2, 3, 4, 5; see grid/summary.csv\n"))
        << result.output;
    EXPECT_EQ(std::string::npos, result.output.find("wrote the CSV files")) << result.output;
    EXPECT_NE(std::string::npos, text("grid/summary.csv").find(",cannot write grid/runs/case-0.csv: Not a directory\n"))
        << text("grid/summary.csv");
}

TEST_F(Sweep, AFullDiskFailsTheCasesWhoseRunsDidNotFitAndLeavesNoEmptyFile) {
    if (!mount_small_disk("disk", 24)) GTEST_SKIP() << "a small file system needs root";
    std::string model = ramp_model;
    model.replace(model.find("stop: 2}"), 8, "stop: 90}");  // about 8 kB a run, before the fault at 100
    write("long_ramp.yaml", model);
    std::string file = grid_sweep;
    file.replace(0, std::string("model: ramp.yaml").size(), "model: long_ramp.yaml");
    write("grid.yaml", file);
    const Result result = sweep("grid.yaml --keep-runs --no-plot --jobs 1 --out disk/grid");
    EXPECT_EQ(1, result.status) << result.output;
    // Each case's status, by case number.
    std::map<std::string, std::string> status;
    std::stringstream lines(text("disk/grid/summary.csv"));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) status[line.substr(0, line.find(','))] = line.substr(line.rfind(',') + 1);
    ASSERT_EQ(6u, status.size());
    std::size_t full = 0;
    for (const auto& [number, said] : status) {
        const std::string run = "disk/grid/runs/case-" + number + ".csv";
        if (said == "ok") {
            EXPECT_TRUE(fs::exists(directory_ / run)) << run;
        } else {
            EXPECT_EQ("cannot write " + run + ": No space left on device", said);
            EXPECT_FALSE(fs::exists(directory_ / run)) << run << " is not left cut short";
            ++full;
        }
    }
    EXPECT_GT(full, 0u);
    EXPECT_EQ(std::vector<std::string>{}, temporary_files());
}

TEST_F(Sweep, ShardsOfOtherInputsAreNotMergedAndAreNamed) {
    write("grid.yaml", grid_sweep);
    ASSERT_EQ(0, sweep("grid.yaml --out shards --shard 0/2").status);
    std::string edited = grid_sweep;
    edited.replace(edited.find("values: [1, 2]"), 14, "values: [1, 5]");
    write("grid.yaml", edited);
    ASSERT_EQ(0, sweep("grid.yaml --out shards --shard 1/2").status);
    write("shards/summary.csv", "the summary of an earlier merge\n");
    Result result = sweep("grid.yaml --merge shards --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: cannot merge shards: summary.0-of-2.csv were not computed from the inputs as they are "
              "now (grid.yaml, ramp.yaml, " + std::string(TEST_BLOCKS_DIR) + "/failer.mexa64); run those shards "
              "again, or all of them\n",
              result.output);
    EXPECT_EQ("the summary of an earlier merge\n", text("shards/summary.csv"));
    // The model edited too: now both shards are stale.
    write("ramp.yaml", std::string(ramp_model) + "# edited\n");
    result = sweep("grid.yaml --merge shards --no-plot");
    EXPECT_NE(std::string::npos, result.output.find("summary.0-of-2.csv, summary.1-of-2.csv were not computed"))
        << result.output;
    // A shard without a fingerprint is not trusted either.
    write("ramp.yaml", ramp_model);
    ASSERT_EQ(0, sweep("grid.yaml --out shards --shard 0/2").status);
    write("shards/summary.1-of-2.csv", without_fingerprint(text("shards/summary.1-of-2.csv")));
    result = sweep("grid.yaml --merge shards --no-plot");
    EXPECT_NE(std::string::npos, result.output.find("cannot merge shards: summary.1-of-2.csv were not computed"))
        << result.output;
}

TEST_F(Sweep, AMergeWithFailedCasesSaysSoInItsStatus) {
    write("faults.yaml", "model: ramp.yaml\nvary:\n  - {block: fault, parameter: 1, values: [100, 1.5, 100]}\n"
                         "metrics:\n  last: {signal: x.0, of: final}\n");
    for (int shard = 0; shard < 2; ++shard) {
        const Result run = sweep("faults.yaml --out shards --shard " + std::to_string(shard) + "/2");
        EXPECT_EQ(shard == 1 ? 1 : 0, run.status) << run.output;
    }
    const Result result = sweep("faults.yaml --merge shards --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("merged 2 shards into shards/summary.csv (3 rows): 2 ok, 1 failed\n"
              "blocksim: 1 of 3 cases failed: 1; see shards/summary.csv\n",
              result.output);
}

TEST_F(Sweep, MergeTakesOnlyShardsThatAgreeWithTheSweep) {
    write("grid.yaml", grid_sweep);
    for (int shard = 0; shard < 2; ++shard)
        ASSERT_EQ(0, sweep("grid.yaml --out shards --shard " + std::to_string(shard) + "/2").status);
    const std::string good = text("shards/summary.1-of-2.csv");
    write("shards/summary.3-of-2.csv", good);
    Result result = sweep("grid.yaml --merge shards --no-plot");
    EXPECT_EQ("blocksim: error: cannot merge shards: summary.3-of-2.csv is no shard of a split into 2 (K counts from 0 "
              "to 1); remove it\n",
              result.output);
    fs::remove(directory_ / "shards" / "summary.3-of-2.csv");
    // A row cut short in the middle of the shard.
    std::string cut = good;
    const auto row = cut.find("\n3,");
    cut.replace(row + 1, cut.find('\n', row + 1) - row - 1, "3,1");
    write("shards/summary.1-of-2.csv", cut);
    result = sweep("grid.yaml --merge shards --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("shards/summary.1-of-2.csv: the row '3,1' has 2 fields, the summary 9"))
        << result.output;
}

TEST_F(Sweep, TwoSweepsIntoOneFolderDoNotInterleave) {
    write("slow.yaml", "solver: {method: ode4, step: 1e-4, stop: 5}\nblocks:\n  s: {type: Sine}\n"
                       "  x: {type: Integrator}\nconnections:\n  - s.0 -> x.0\n");
    write("many.yaml", "model: slow.yaml\nvary:\n  - {block: s, key: amplitude, range: [1, 2], count: 400}\n"
                       "metrics:\n  last: {signal: x.0, of: final}\n");
    const long pid = start_in_background("sweep many.yaml --jobs 1 --no-plot --out out > first.log 2>&1");
    ASSERT_GT(pid, 0);
    for (int wait = 0; wait < 500 && written_so_far("out/summary.csv") == 0; ++wait) usleep(20000);
    const Result second = sweep("many.yaml --no-plot --out out");
    kill(static_cast<pid_t>(pid), SIGTERM);
    wait_for_log("first.log", "holds");
    EXPECT_EQ(1, second.status);
    EXPECT_EQ("blocksim: error: another blocksim (process " + std::to_string(pid) + ") is writing out/summary.csv; "
              "wait for it to end, or choose another folder with --out\n",
              second.output);
}

TEST_F(Sweep, ALinkPlantedInTheRunsFolderIsReplacedNotFollowed) {
    write("grid.yaml", grid_sweep);
    fs::create_directories(directory_ / "grid" / "runs");
    fs::create_symlink("../../ramp.yaml", directory_ / "grid" / "runs" / "case-0.csv");
    const std::string model = text("ramp.yaml");
    ASSERT_EQ(0, sweep("grid.yaml --keep-runs --no-plot").status);
    EXPECT_EQ(model, text("ramp.yaml"));
    EXPECT_FALSE(fs::is_symlink(directory_ / "grid" / "runs" / "case-0.csv"));
    EXPECT_EQ("time,x.0[0]", text("grid/runs/case-0.csv").substr(0, 11));
}

TEST_F(Sweep, ASweepTooLargeToHoldOrWriteIsRefusedBeforeItRuns) {
    write("huge.yaml", "model: ramp.yaml\nvary:\n  - {block: gain, key: gain, range: [1, 2], count: 100000}\n"
                       "  - {block: level, key: value, range: [1, 2], count: 100}\n");
    Result result = sweep("huge.yaml --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: huge.yaml: the design has 10000000 cases, 20000000 values to hold, more than the "
              "10000000 blocksim takes without --force\n",
              result.output);
    std::string model = ramp_model;
    model.replace(model.find("step: 0.25"), 10, "step: 1e-5");
    write("fine.yaml", model);
    write("runs.yaml", "model: fine.yaml\nvary:\n  - {block: gain, key: gain, range: [1, 2], count: 1000}\n");
    result = sweep("runs.yaml --no-plot --keep-runs");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("--keep-runs would write about 8 GB of run files (1000 cases of "
                                                    "about 200002 rows)"))
        << result.output;
    EXPECT_FALSE(fs::exists(directory_ / "runs")) << "nothing ran";
}

TEST_F(Sweep, KeptRunsAreWhatARunOfTheCaseWrites) {
    write("grid.yaml", grid_sweep);
    ASSERT_EQ(0, sweep("grid.yaml --keep-runs --no-plot").status);
    std::string model = ramp_model;
    model.replace(model.find("gain: 1"), 7, "gain: 2");
    model.replace(model.find("value: 3"), 8, "value: 2");
    write("case4.yaml", model);
    ASSERT_EQ(0, blocksim("run case4.yaml --no-plot --path " + shell_word(TEST_BLOCKS_DIR)).status);
    EXPECT_EQ(text("case4.csv"), text("grid/runs/case-4.csv"));
    EXPECT_TRUE(fs::exists(directory_ / "grid" / "runs" / "case-0.csv"));
}

TEST_F(Sweep, SweepFileMistakesAreReportedWithFileAndLineBeforeAnyRun) {
    struct Case {
        std::string vary, rest, message;
    };
    const std::vector<Case> cases = {
        {"  - {block: gian, key: gain, values: [1]}", "", "bad.yaml:3: the model has no block 'gian' (did you mean 'gain'?)"},
        {"  - {block: fault, parameter: 2, values: [1]}", "",
         "bad.yaml:3: parameter 2 is out of range: S-function block 'fault' has 1 dialog parameter, 1 to 1"},
        {"  - {block: fault, parameter: 1, element: 1, values: [1]}", "",
         "bad.yaml:3: element 1 is beyond parameter 1 of S-function block 'fault', which has 1 element"},
        {"  - {block: gain, key: gian, values: [1]}", "",
         "bad.yaml:3: Gain block 'gain' has no key 'gian' (did you mean 'gain'?) (keys: gain)"},
        {"  - {block: gain, key: gain, element: 2, values: [1]}", "",
         "bad.yaml:3: Gain block 'gain': element 2 is beyond 'gain', which has 1 element"},
        {"  - {block: gain, parameter: 1, values: [1]}", "",
         "bad.yaml:3: Gain block 'gain' is a built-in block: vary one of its keys (key: NAME)"},
        {"  - {block: gain, key: gain, range: [1, 2]}", "",
         "bad.yaml:3: a range in a grid needs count, the number of points from low to high"},
        {"  - {block: gain, key: gain, values: [1]}", "design: lhs\nruns: 4\n",
         "bad.yaml:3: an lhs design varies ranges only: give range: [low, high]"},
        {"  - {block: gain, key: gain, range: [2, 1], count: 3}", "",
         "bad.yaml:3: range is [low, high], finite, with low < high"},
        // Values as YAML reads numbers: no hexadecimal, no bare inf or nan.
        {"  - {block: gain, key: gain, values: [1, 0x10]}", "", "bad.yaml:3: values must be a number, not '0x10'"},
        {"  - {block: gain, key: gain, values: [inf]}", "", "bad.yaml:3: values must be a number, not 'inf'"},
        {"  - {block: gain, key: gain, values: [1]}\n  - {block: gain, key: gain, values: [2]}", "",
         "bad.yaml:4: gain.gain is varied twice (lines 3 and 4)"},
        {"  - {block: gain, key: gain, values: [1]}", "metrics:\n  m: {signal: gian.0, of: final}\n",
         "bad.yaml:5: metric 'm': cannot watch 'gian': no such block (did you mean 'gain'?)"},
        {"  - {block: gain, key: gain, values: [1]}", "metrics:\n  m: {signal: x.1, of: final}\n",
         "bad.yaml:5: metric 'm': cannot watch x.1: block 'x' has 1 output port"},
        {"  - {block: gain, key: gain, values: [1]}", "metrics:\n  m: {signal: x.0, of: median}\n",
         "bad.yaml:5: metric 'm': of is final, min, max, mean or integral, not 'median' (did you mean 'mean'?)"},
    };
    for (const auto& c : cases) {
        write("bad.yaml", "model: ramp.yaml\nvary:\n" + c.vary + "\n" + c.rest);
        const Result result = sweep("bad.yaml");
        EXPECT_EQ(1, result.status) << c.vary;
        EXPECT_EQ("blocksim: error: " + c.message + "\n", result.output) << c.vary << "\n" << c.rest;
        EXPECT_FALSE(fs::exists(directory_ / "bad")) << "nothing ran: " << c.vary;
    }
}

TEST_F(Sweep, NoOutputLandsOnAnInput) {
    write("grid.yaml", grid_sweep);
    fs::create_directories(directory_ / "grid");
    fs::rename(directory_ / "ramp.yaml", directory_ / "grid" / "summary.csv");
    std::string sweep_file = grid_sweep;
    sweep_file.replace(0, std::string("model: ramp.yaml").size(), "model: grid/summary.csv");
    write("grid.yaml", sweep_file);
    const std::string model = text("grid/summary.csv");
    const Result result = sweep("grid.yaml");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: refusing to write the summary to grid/summary.csv: that is the model file "
              "(grid/summary.csv); choose another file with --out\n",
              result.output);
    EXPECT_EQ(model, text("grid/summary.csv"));
}

// A signal while the summary is plotted, after every case ran: the summary's
// rows kept apart, the earlier summary and plot as they were, gnuplot ended.
TEST_F(Sweep, ASignalWhileTheSummaryIsPlottedEndsTheSweepAsAnyInterrupt) {
    const std::string gnuplot = slow_gnuplot();
    write("plotted.yaml", "model: ramp.yaml\nvary:\n  - {block: level, key: value, values: [1, 2, 3]}\n"
                          "metrics:\n  last: {signal: x.0, of: final}\n");
    write("plotted/summary.csv", "the summary of an earlier sweep\n");
    write("plotted/summary.png", "its plot");
    const pid_t pid = spawn({"sweep", "plotted.yaml", "--jobs", "1", "--path", TEST_BLOCKS_DIR}, "sweep.log", gnuplot);
    const long drawing = pid_in("gnuplot.pid");
    ASSERT_GT(drawing, 0) << text("sweep.log");
    ASSERT_EQ(0, kill(pid, SIGTERM));
    EXPECT_EQ(143, finished(pid)) << text("sweep.log");
    EXPECT_EQ("blocksim: stopped by SIGTERM while drawing plotted/summary.png, after all 3 cases; "
              "plotted/summary.partial.csv holds the cases up to case 2 (3 rows); plotted/summary.csv is as it was\n",
              text("sweep.log"));
    EXPECT_EQ("the summary of an earlier sweep\n", text("plotted/summary.csv"));
    EXPECT_EQ("its plot", text("plotted/summary.png"));
    const std::string rows = text("plotted/summary.partial.csv");
    EXPECT_EQ(4, std::count(rows.begin(), rows.end(), '\n')) << rows;
    EXPECT_EQ(std::vector<std::string>{}, temporary_files());
    EXPECT_FALSE(still_running(drawing)) << "gnuplot is left running";
    kill(static_cast<pid_t>(drawing), SIGKILL);
}

TEST_F(Sweep, AnInterruptedSweepLeavesWholeRowsAndSaysWhereItStopped) {
    write("slow.yaml", "solver: {method: ode4, step: 1e-4, stop: 5}\nblocks:\n  s: {type: Sine}\n"
                       "  x: {type: Integrator}\nconnections:\n  - s.0 -> x.0\n");
    write("many.yaml", "model: slow.yaml\nvary:\n  - {block: s, key: amplitude, range: [1, 2], count: 400}\n"
                       "metrics:\n  last: {signal: x.0, of: final}\n");
    write("many/summary.csv", "the summary of an earlier sweep\n");
    const long pid = start_in_background("sweep many.yaml --jobs 2 --no-plot > sweep.log 2>&1");
    ASSERT_GT(pid, 0);
    for (int wait = 0; wait < 500 && written_so_far("many/summary.csv") < 60; ++wait) usleep(20000);
    ASSERT_EQ(0, kill(static_cast<pid_t>(pid), SIGTERM));
    const std::string log = wait_for_log("sweep.log", "holds");
    const std::string rows = text("many/summary.partial.csv");
    const auto written = std::count(rows.begin(), rows.end(), '\n') - 1;
    ASSERT_GE(written, 2);
    ASSERT_LT(written, 400) << "the sweep ended before the signal";
    EXPECT_EQ('\n', rows.back());
    EXPECT_EQ("blocksim: stopped by SIGTERM after " + std::to_string(written) + " of 400 cases; many/summary.partial.csv "
              "holds the cases up to case " + std::to_string(written - 1) + " (" + std::to_string(written) +
              " rows); many/summary.csv is as it was\n",
              log);
    EXPECT_EQ("the summary of an earlier sweep\n", text("many/summary.csv"));
    // Every row is whole: its status field closes it.
    std::stringstream lines(rows);
    std::string line;
    std::getline(lines, line);
    for (long i = 0; i < written; ++i) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(std::to_string(i) + ",", line.substr(0, std::to_string(i).size() + 1));
        EXPECT_EQ(",ok", line.substr(line.size() - 3));
    }
}

}  // namespace

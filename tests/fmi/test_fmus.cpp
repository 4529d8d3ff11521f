// Every block's FMU as an FMI tool meets it: its modelDescription.xml
// against the standard's rules, the worked examples through co-simulation
// and model exchange, runs against blocksim, and the errors an importer
// can provoke.
#include <gtest/gtest.h>
#include <zip.h>

#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <random>
#include <set>

#include "../blocksim_fixture.hpp"
#include "../worked_examples.hpp"
#include "block_examples.hpp"
#include "block_manifest.hpp"
#include "fmu_importer.hpp"
#include "standard_rules.hpp"

namespace {

using importer::Fmu;
using importer::Instance;

fs::path fmu_file(const std::string& block) { return fs::path(FMU_DIR) / (block + ".fmu"); }

std::size_t column(const std::vector<std::string>& header, const std::string& name) {
    const auto it = std::find(header.begin(), header.end(), name);
    if (it == header.end()) throw std::runtime_error("blocksim logged no column " + name);
    return static_cast<std::size_t>(it - header.begin());
}

// Brisquel's six outputs, in order.
const char* const brisquel_outputs[] = {"schedule_a", "fixed_1_2", "one_a", "schedule_b", "command", "one_b"};

class Fmus : public Blocksim {
protected:
    // The FMU of `block`, unpacked into a folder of this test's.
    Fmu& open(const std::string& block, const std::string& copy = "") {
        fmus_.push_back(std::make_unique<Fmu>(fmu_file(block), folder() / ("unpacked_" + block + copy)));
        return *fmus_.back();
    }
    fs::path folder() const { return directory_; }

private:
    std::vector<std::unique_ptr<Fmu>> fmus_;
};

// ---------------------------------------------------------------- the description

struct Expected {
    const char* block;
    int inputs, outputs, parameters, states, discrete_states;
    const char* output_type;
};
// Per port element, dialog parameters per element plus the internal step.
const Expected expected_variables[] = {
    {"blower", 7, 7, 5 + 1, 0, 0, "Real"},
    {"Tolvane", 3, 1, 17 + 1, 0, 0, "Real"},
    {"Brisquel", 3, 6, 0 + 1, 2, 0, "Real"},
    {"sarnith", 1, 1, 2 + 1, 0, 1, "Real"},
    {"quorvel", 1, 1, 2 + 1, 0, 1, "Integer"},
};

TEST_F(Fmus, EveryBlockOfTheManifestHasAnFmu) {
    std::set<std::string> described;
    for (const auto& e : expected_variables) described.insert(e.block);
    for (const auto& block : blocks::manifest) {
        EXPECT_TRUE(fs::exists(fmu_file(block.name))) << block.name;
        EXPECT_TRUE(described.count(block.name)) << block.name << " has no expectations here";
    }
}

// blocksim info lists what an FMU's description says; an FMU whose archive
// would write outside its folder is refused before anything is unpacked.
TEST_F(Fmus, BlocksimInfoListsAnFmusVariables) {
    const Result sarnith = blocksim("info " + shell_word(fmu_file("sarnith").string()));
    ASSERT_EQ(0, sarnith.status) << sarnith.output;
    EXPECT_EQ(0u, sarnith.output.find(fmu_file("sarnith").string() + ": FMI 2.0 FMU of model sarnith for model "
                                                                    "exchange (sarnith) and co-simulation (sarnith)\n"))
        << sarnith.output;
    EXPECT_NE(std::string::npos, sarnith.output.find("  0 continuous states, 0 event indicators\n"));
    EXPECT_NE(std::string::npos,
              sarnith.output.find("    u               input     continuous  Real      2     relay input, in the "
                                  "thresholds' unit\n"))
        << sarnith.output;
    EXPECT_NE(std::string::npos, sarnith.output.find("    internal_step   parameter fixed       Real s    0.001 "));
    const fs::path brisquel3 = fs::path(FMU_DIR) / "fmi3" / "Brisquel.fmu";
    const Result brisquel = blocksim("info " + shell_word(brisquel3.string()));
    ASSERT_EQ(0, brisquel.status) << brisquel.output;
    EXPECT_NE(std::string::npos, brisquel.output.find(": FMI 3.0 FMU of model Brisquel for model exchange"));
    EXPECT_NE(std::string::npos, brisquel.output.find("  2 continuous states, 0 event indicators\n")) << brisquel.output;

    int error = 0;
    zip_t* zip = zip_open((folder() / "hostile.fmu").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(nullptr, zip);
    for (const char* name : {"modelDescription.xml", "../outside.txt"})
        ASSERT_LE(0, zip_file_add(zip, name, zip_source_buffer(zip, "<x/>", 4, 0), 0));
    ASSERT_EQ(0, zip_close(zip));
    const Result hostile = blocksim("info hostile.fmu");
    EXPECT_EQ(1, hostile.status);
    EXPECT_EQ("blocksim: error: hostile.fmu: entry '../outside.txt' climbs out of the archive's folder with \"..\"; "
              "refused\n",
              hostile.output);
    EXPECT_FALSE(fs::exists(folder().parent_path() / "outside.txt"));
    const Result with_parameters = blocksim("info hostile.fmu 1 2");
    EXPECT_EQ(1, with_parameters.status);
    EXPECT_EQ("blocksim: error: an FMU takes no dialog parameters and has no size fields: blocksim info 'hostile.fmu'\n",
              with_parameters.output);
}

TEST_F(Fmus, DescriptionsFollowTheStandard) {
    for (const auto& expected : expected_variables) {
        SCOPED_TRACE(expected.block);
        const auto& d = open(expected.block).description();
        EXPECT_EQ("2.0", d.attributes.at("fmiVersion"));
        EXPECT_EQ(expected.block, d.model_exchange.at("modelIdentifier"));
        EXPECT_EQ(expected.block, d.co_simulation.at("modelIdentifier"));
        EXPECT_EQ("false", d.co_simulation.at("canGetAndSetFMUstate"));

        expect_follows_the_standard(d);
        expect_valid_against_schema(open(expected.block, "_xml").folder() / "modelDescription.xml",
                                    "2.0/fmi2ModelDescription.xsd");
        std::map<std::string, int> count;
        for (const auto& v : d.variables) {
            const std::string causality = v.attribute("causality");
            ++count[causality + (v.attribute("variability") == "discrete" && causality == "local" ? " discrete" : "")];
        }
        EXPECT_EQ(expected.inputs, count["input"]);
        EXPECT_EQ(expected.outputs, count["output"]);
        EXPECT_EQ(expected.parameters, count["parameter"]);
        EXPECT_EQ(expected.discrete_states, count["local discrete"]);
        EXPECT_EQ(static_cast<std::size_t>(expected.states), d.states());
        EXPECT_EQ(expected.output_type, d.variables.at(static_cast<std::size_t>(expected.inputs)).type);
    }
}

// The variables are named, described and given units by the blocks'
// records, inputs and outputs in port and element order.
TEST_F(Fmus, PortsAndParametersAreNamedInOrderWithUnitsAndTheExampleValues) {
    const auto& blower = open("blower").description();
    const std::vector<std::string> ports = {
        "inlet.p",         "inlet.T",      "inlet.c",          "outlet.p",         "outlet.T",
        "outlet.c",        "drive",        "inlet_flow.mdot",  "inlet_flow.H",     "inlet_flow.fuel",
        "outlet_flow.mdot", "outlet_flow.H", "outlet_flow.fuel", "power",           "eta",
        "flow_coefficients[1]", "flow_coefficients[2]", "flow_coefficients[3]", "sigma", "internal_step"};
    ASSERT_EQ(ports.size(), blower.variables.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i], blower.variables[i].attribute("name"));
        EXPECT_EQ(std::to_string(i + 1), blower.variables[i].attribute("valueReference"));
    }
    const auto unit = [](const importer::ScalarVariable& v) {
        return v.type_attributes.count("unit") ? v.type_attributes.at("unit") : "(none)";
    };
    EXPECT_EQ("Pa", unit(blower.variable("inlet.p")));
    EXPECT_EQ("K", unit(blower.variable("inlet.T")));
    EXPECT_EQ("1", unit(blower.variable("inlet.c")));
    EXPECT_EQ("kg/s", unit(blower.variable("inlet_flow.mdot")));
    EXPECT_EQ("W", unit(blower.variable("outlet_flow.H")));
    EXPECT_EQ("W", unit(blower.variable("power")));
    EXPECT_EQ("1", unit(blower.variable("eta")));
    EXPECT_EQ("s", unit(blower.variable("internal_step")));
    EXPECT_EQ("inlet pressure p_in", blower.variable("inlet.p").attribute("description"));
    // A pressure is kg/(m s^2), a power kg m^2/s^3: the SI base units.
    EXPECT_EQ((std::map<std::string, std::string>{{"kg", "1"}, {"m", "-1"}, {"s", "-2"}}), blower.units.at("Pa"));
    EXPECT_EQ((std::map<std::string, std::string>{{"kg", "1"}, {"m", "2"}, {"s", "-3"}}), blower.units.at("W"));
    EXPECT_TRUE(blower.units.at("1").empty());
    EXPECT_EQ("0.7", blower.variable("eta").type_attributes.at("start"));
    EXPECT_EQ("0.5", blower.variable("flow_coefficients[2]").type_attributes.at("start"));
    EXPECT_EQ("0.0698", blower.variable("sigma").type_attributes.at("start"));

    const auto& valve = open("Tolvane").description();
    EXPECT_EQ("rad", unit(valve.variable("crank_angle")));
    EXPECT_EQ("(none)", unit(valve.variable("lift")));  // the unit of peak_lift, the user's
    EXPECT_EQ("deg", unit(valve.variable("open_duration")));
    EXPECT_EQ((std::map<std::string, std::string>{{"rad", "1"}, {"factor", "0.017453292519943295"}}),
              valve.units.at("deg"));
    EXPECT_EQ("0.3", valve.variable("close_lifts[2]").type_attributes.at("start"));
    const auto& relay = open("quorvel").description();
    EXPECT_EQ("Integer", relay.variable("y").type);
    EXPECT_EQ("Integer", relay.variable("held_output").type);
    EXPECT_EQ("discrete", relay.variable("held_output").attribute("variability"));

    // Every block's inputs and outputs are its record's, in order.
    for (const auto& block : blocks::manifest) {
        SCOPED_TRACE(block.name);
        const auto& d = open(block.name).description();
        std::size_t i = 0;
        const auto expect_next = [&](const blocks::Signal& signal, const std::string& causality) {
            const auto& v = d.variables.at(i++);
            EXPECT_EQ(signal.name, v.attribute("name"));
            EXPECT_EQ(signal.meaning, v.attribute("description"));
            EXPECT_EQ(causality, v.attribute("causality")) << signal.name;
        };
        for (const auto& signal : block.inputs()) expect_next(signal, "input");
        for (const auto& signal : block.outputs()) expect_next(signal, "output");
    }
}

TEST_F(Fmus, TheGuidMustBeTheBinarysOwn) {
    Fmu& fmu = open("sarnith");
    Instance right(fmu, fmi2CoSimulation);
    EXPECT_NE(nullptr, right.component());
    Instance wrong(fmu, fmi2CoSimulation, "wrong", "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(nullptr, wrong.component());
    EXPECT_EQ("fmi2Instantiate: the GUID {00000000-0000-0000-0000-000000000000} is not this binary's, " +
                  fmu.description().attributes.at("guid") + ": the modelDescription.xml belongs to another FMU",
              wrong.last_message());
    // Each block's FMU has a GUID of its own.
    EXPECT_NE(fmu.description().attributes.at("guid"), open("quorvel").description().attributes.at("guid"));
}

// ---------------------------------------------------------------- worked examples

class BothInterfaces : public Fmus, public ::testing::WithParamInterface<fmi2Type> {};

TEST_P(BothInterfaces, BlowerWorkedExample) {
    Instance fmu(open("blower"), GetParam());
    ASSERT_EQ(fmi2OK, fmu.initialize()) << fmu.last_message();
    const auto& example = worked_examples::blower_gas;
    const char* inlet[] = {"inlet.p", "inlet.T", "inlet.c"};
    const char* inlet_flow[] = {"inlet_flow.mdot", "inlet_flow.H", "inlet_flow.fuel"};
    const char* outlet_flow[] = {"outlet_flow.mdot", "outlet_flow.H", "outlet_flow.fuel"};
    for (int i = 0; i < 3; ++i) fmu.set_real(inlet[i], example.inlet[i]);
    fmu.set_real("outlet.p", 150000);
    fmu.set_real("drive", 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TEN_DIGITS(example.inlet_flow[i], fmu.real(inlet_flow[i]));
        EXPECT_TEN_DIGITS(example.outlet_flow[i], fmu.real(outlet_flow[i]));
    }
    EXPECT_TEN_DIGITS(example.power, fmu.real("power"));
    // Air at 300 K.
    fmu.set_real("inlet.T", 300);
    fmu.set_real("inlet.c", 0);
    EXPECT_TEN_DIGITS(worked_examples::blower_air_mass_flow, fmu.real("inlet_flow.mdot"));
    EXPECT_TEN_DIGITS(worked_examples::blower_air_power, fmu.real("power"));
}

TEST_P(BothInterfaces, TolvaneWorkedExample) {
    Instance fmu(open("Tolvane"), GetParam());
    ASSERT_EQ(fmi2OK, fmu.initialize()) << fmu.last_message();
    fmu.set_real("start_signal", 80);
    fmu.set_real("dwell_signal", 20);
    const struct { double degrees, lift; } cases[] = {
        {80, 0}, {90, 0.3}, {120, 2}, {130, 2}, {150, 1.3}, {180, 0}, {450, 0.3}};
    for (const auto& c : cases) {
        fmu.set_real("crank_angle", c.degrees * 3.14159265359 / 180.0);
        EXPECT_NEAR(c.lift, fmu.real("lift"), 1e-9) << c.degrees;
    }
}

TEST_P(BothInterfaces, RelaysWorkedExample) {
    const std::vector<double> inputs = {2, 4, 2, 0.5, 2, 3};
    for (const auto& [block, expected] :
         {std::pair<std::string, std::vector<int>>{"sarnith", {0, 0, 0, 1, 1, 1}}, {"quorvel", {0, 1, 1, 0, 0, 0}}}) {
        SCOPED_TRACE(block);
        Instance fmu(open(block), GetParam());
        ASSERT_EQ(fmi2OK, fmu.initialize()) << fmu.last_message();
        const auto& fmi = fmu.fmi();
        if (GetParam() == fmi2ModelExchange) {
            fmi2EventInfo info{};
            fmi.NewDiscreteStates(fmu.component(), &info);
        }
        std::vector<int> outputs;
        for (std::size_t k = 0; k < inputs.size(); ++k) {
            const double t = static_cast<double>(k);
            if (GetParam() == fmi2ModelExchange) fmi.SetTime(fmu.component(), t);
            fmu.set_real("u", inputs[k]);
            if (GetParam() == fmi2ModelExchange && k == 0) fmi.EnterContinuousTimeMode(fmu.component());
            outputs.push_back(block == "quorvel" ? fmu.integer("y") : static_cast<int>(fmu.real("y")));
            if (GetParam() == fmi2CoSimulation) {
                ASSERT_EQ(fmi2OK, fmi.DoStep(fmu.component(), t, 1.0, fmi2True)) << fmu.last_message();
            } else if (k > 0) {
                fmi2Boolean event = fmi2False, stop = fmi2False;
                ASSERT_EQ(fmi2OK, fmi.CompletedIntegratorStep(fmu.component(), fmi2True, &event, &stop));
            }
        }
        EXPECT_EQ(expected, outputs);
    }
}

TEST_P(BothInterfaces, BrisquelJustAfterLoading) {
    Instance fmu(open("Brisquel"), GetParam());
    fmu.fmi().SetupExperiment(fmu.component(), fmi2False, 0, 0, fmi2False, 0);
    fmu.fmi().EnterInitializationMode(fmu.component());
    fmu.set_real("load", 12520000.0);
    fmu.set_real("measured", 0.9375);
    fmu.set_real("set_point", 1.0);
    const double initial_vector[] = {1.07005329225731, 1.2, 1.0, -2.59972335254129, 0.5, 1.0};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(initial_vector[i], fmu.real(brisquel_outputs[i])) << i;
    EXPECT_EQ(0.5208333333333334, fmu.real("der(x[1])"));
    EXPECT_EQ(0.9765625, fmu.real("der(x[2])"));
    EXPECT_EQ(0.0, fmu.real("x[1]"));
    EXPECT_EQ(fmi2OK, fmu.fmi().ExitInitializationMode(fmu.component())) << fmu.last_message();
}

INSTANTIATE_TEST_SUITE_P(Fmi, BothInterfaces, ::testing::Values(fmi2CoSimulation, fmi2ModelExchange),
                         [](const auto& info) { return info.param == fmi2CoSimulation ? "CoSimulation" : "ModelExchange"; });

// ---------------------------------------------------------------- against blocksim

// Runge-Kutta 4 over model exchange, the importer's own, in the arithmetic
// of blocksim's ode4: major steps at k * h, stages at t + c * h.
class ModelExchangeRk4 {
public:
    ModelExchangeRk4(Instance& fmu, std::size_t states) : fmu_(fmu), n_(states), x_(states), k_(4, std::vector<double>(states)) {}

    // Event mode at t = 0 (after initialization) to the first step's start.
    void begin() {
        fmi2EventInfo info{};
        fmu_.fmi().NewDiscreteStates(fmu_.component(), &info);
        fmu_.fmi().EnterContinuousTimeMode(fmu_.component());
    }

    void step(double t, double h, double next_t) {
        static constexpr double a[4][4] = {{0}, {0.5}, {0, 0.5}, {0, 0, 1}};
        static constexpr double b[4] = {1.0 / 6, 1.0 / 3, 1.0 / 3, 1.0 / 6};
        static constexpr double c[4] = {0, 0.5, 0.5, 1};
        const auto& fmi = fmu_.fmi();
        fmi.GetContinuousStates(fmu_.component(), x_.data(), n_);
        const std::vector<double> start = x_;
        fmi.GetDerivatives(fmu_.component(), k_[0].data(), n_);
        std::vector<double> stage(n_);
        for (int s = 1; s < 4; ++s) {
            for (std::size_t i = 0; i < n_; ++i) {
                double increment = 0.0;
                for (int j = 0; j < s; ++j) increment += a[s][j] * k_[j][i];
                stage[i] = start[i] + h * increment;
            }
            fmi.SetTime(fmu_.component(), t + c[s] * h);
            fmi.SetContinuousStates(fmu_.component(), stage.data(), n_);
            fmi.GetDerivatives(fmu_.component(), k_[s].data(), n_);
        }
        for (std::size_t i = 0; i < n_; ++i) {
            double increment = 0.0;
            for (int j = 0; j < 4; ++j) increment += b[j] * k_[j][i];
            x_[i] = start[i] + h * increment;
        }
        fmi.SetTime(fmu_.component(), next_t);
        fmi.SetContinuousStates(fmu_.component(), x_.data(), n_);
        fmi2Boolean event = fmi2False, stop = fmi2False;
        ASSERT_EQ(fmi2OK, fmi.CompletedIntegratorStep(fmu_.component(), fmi2True, &event, &stop)) << fmu_.last_message();
    }

private:
    Instance& fmu_;
    std::size_t n_;
    std::vector<double> x_;
    std::vector<std::vector<double>> k_;
};

// The block's outputs (columns block.0[i] of a blocksim run) over a run of
// the FMU of `type`, stepped like blocksim's fixed step `h`.
std::vector<std::vector<double>> run_fmu(Instance& fmu, fmi2Type type, double h, std::size_t rows,
                                         const std::function<void(std::size_t row)>& set_inputs,
                                         const std::vector<std::string>& outputs,
                                         std::vector<std::vector<double>>* states = nullptr) {
    const auto& fmi = fmu.fmi();
    std::vector<std::vector<double>> values;
    fmi.SetupExperiment(fmu.component(), fmi2False, 0, 0, fmi2False, 0);
    if (type == fmi2CoSimulation) fmu.set_real("internal_step", h);
    fmi.EnterInitializationMode(fmu.component());
    set_inputs(0);
    EXPECT_EQ(fmi2OK, fmi.ExitInitializationMode(fmu.component())) << fmu.last_message();
    ModelExchangeRk4 rk4(fmu, states ? 2 : 0);
    if (type == fmi2ModelExchange) rk4.begin();
    for (std::size_t row = 0; row < rows; ++row) {
        const double t = static_cast<double>(row) * h;
        set_inputs(row);
        std::vector<double> y;
        for (const auto& name : outputs) y.push_back(fmu.real(name));
        values.push_back(y);
        if (states) states->push_back({fmu.real("x[1]"), fmu.real("x[2]")});
        if (row + 1 == rows) break;
        if (type == fmi2CoSimulation) {
            EXPECT_EQ(fmi2OK, fmi.DoStep(fmu.component(), t, h, fmi2True)) << fmu.last_message();
        } else {
            rk4.step(t, h, static_cast<double>(row + 1) * h);
        }
    }
    return values;
}

TEST_F(Fmus, BrisquelOverARunIsBlocksimsBitForBit) {
    write("controller.yaml", R"(solver: {method: ode4, step: 0.05, stop: 3}
blocks:
  inputs: {type: Constant, value: [20000000.0, 0.3, 0.8]}
  controller: {sfunction: Brisquel}
connections:
  - inputs.0 -> controller.0
)");
    ASSERT_EQ(0, blocksim("run controller.yaml --out controller.csv").status);
    const auto [header, rows] = csv("controller.csv");
    ASSERT_EQ(61u, rows.size());
    std::vector<std::string> outputs;
    for (const char* output : brisquel_outputs) outputs.push_back(output);
    std::map<fmi2Type, std::vector<std::vector<double>>> states;
    for (fmi2Type type : {fmi2CoSimulation, fmi2ModelExchange}) {
        SCOPED_TRACE(type == fmi2CoSimulation ? "co-simulation" : "model exchange");
        Instance fmu(open("Brisquel"), type);
        const auto values = run_fmu(
            fmu, type, 0.05, rows.size(),
            [&](std::size_t) {
                fmu.set_real("load", 20000000.0);
                fmu.set_real("measured", 0.3);
                fmu.set_real("set_point", 0.8);
            },
            outputs, &states[type]);
        for (int i = 0; i < 6; ++i) {
            const std::size_t logged = column(header, "controller.0[" + std::to_string(i) + "]");
            for (std::size_t row = 0; row < rows.size(); ++row)
                ASSERT_EQ(rows[row][logged], values[row][i]) << "t = " << rows[row][0] << ", element " << i;
        }
    }
    // The integral state moves, and both interfaces agree on it all along.
    EXPECT_NE(states[fmi2CoSimulation].front()[0], states[fmi2CoSimulation].back()[0]);
    EXPECT_EQ(states[fmi2CoSimulation], states[fmi2ModelExchange]);
}

TEST_P(BothInterfaces, RelaysOnASineAreBlocksimsBitForBit) {
    for (const std::string block : {"sarnith", "quorvel"}) {
        SCOPED_TRACE(block);
        write(block + ".yaml", "solver: {method: ode4, step: 0.01, stop: 4}\n"
                               "blocks:\n"
                               "  wave: {type: Sine, amplitude: 3, frequency: 5, bias: 2}\n"
                               "  relay: {sfunction: " + block + ", parameters: [3.5, 0.5]}\n"
                               "connections:\n  - wave.0 -> relay.0\n");
        ASSERT_EQ(0, blocksim("run " + block + ".yaml --out " + block + ".csv").status);
        const auto [header, rows] = csv(block + ".csv");
        ASSERT_EQ(401u, rows.size());
        Instance fmu(open(block), GetParam());
        fmu.set_real("upper_threshold", 3.5);
        fmu.set_real("lower_threshold", 0.5);
        const auto& fmi = fmu.fmi();
        fmi.SetupExperiment(fmu.component(), fmi2False, 0, 0, fmi2False, 0);
        fmu.set_real("internal_step", 0.01);
        fmi.EnterInitializationMode(fmu.component());
        ASSERT_EQ(fmi2OK, fmi.ExitInitializationMode(fmu.component())) << fmu.last_message();
        const std::size_t u = column(header, "wave.0[0]"), y = column(header, "relay.0[0]");
        ModelExchangeRk4 rk4(fmu, 0);
        fmu.set_real("u", rows[0][u]);
        if (GetParam() == fmi2ModelExchange) rk4.begin();
        int switches = 0;
        for (std::size_t row = 0; row < rows.size(); ++row) {
            const double t = static_cast<double>(row) * 0.01;
            fmu.set_real("u", rows[row][u]);
            const double output = block == "quorvel" ? fmu.integer("y") : fmu.real("y");
            ASSERT_EQ(rows[row][y], output) << "t = " << t;
            if (row > 0 && rows[row][y] != rows[row - 1][y]) ++switches;
            if (row + 1 == rows.size()) break;
            if (GetParam() == fmi2CoSimulation) ASSERT_EQ(fmi2OK, fmi.DoStep(fmu.component(), t, 0.01, fmi2True));
            else rk4.step(t, 0.01, static_cast<double>(row + 1) * 0.01);
        }
        EXPECT_GE(switches, 6);  // three periods: the hysteresis is exercised both ways
    }
}

// Simulated as it comes, nothing set: every input starts at its block's
// worked example, and so do the outputs.
TEST_P(BothInterfaces, AsItComesEachFmuGivesItsWorkedExample) {
    for (const auto& block : blocks::manifest) {
        Instance fmu(open(block.name), GetParam());
        ASSERT_EQ(fmi2OK, fmu.initialize()) << fmu.last_message();
        for (const auto& v : fmu.fmu().description().variables) {
            if (v.attribute("causality") != "output") continue;
            const double value = v.type == "Integer" ? fmu.integer(v.attribute("name")) : fmu.real(v.attribute("name"));
            EXPECT_EQ(fmi2OK, fmu.last_status()) << fmu.last_message();
            EXPECT_TRUE(std::isfinite(value)) << block.name << " " << v.attribute("name");
        }
        expect_worked_example(fmu, block.name);
    }
}

// A dialog parameter changed between communication steps takes effect at
// the next step, as a dialog's change does in the host.
TEST_F(Fmus, ATunedParameterTakesEffectAtTheNextStep) {
    // Power over ten steps of 0.1 s with eta set to `second` at t = 0.5.
    const auto run = [&](double first, double second) {
        Instance fmu(open("blower", std::to_string(first) + "_" + std::to_string(second)), fmi2CoSimulation);
        fmu.set_real("eta", first);
        EXPECT_EQ(fmi2OK, fmu.initialize()) << fmu.last_message();
        std::vector<double> power;
        for (int k = 0; k < 10; ++k) {
            if (k == 5) {
                EXPECT_EQ(fmi2OK, fmu.set_real("eta", second)) << fmu.last_message();
            }
            fmu.set_real("inlet.T", 350 + 10 * k);
            EXPECT_EQ(fmi2OK, fmu.fmi().DoStep(fmu.component(), 0.1 * k, 0.1, fmi2True)) << fmu.last_message();
            power.push_back(fmu.real("power"));
        }
        return power;
    };
    const auto tuned = run(0.7, 0.8), low = run(0.7, 0.7), high = run(0.8, 0.8);
    for (int k = 0; k < 10; ++k) EXPECT_EQ(k < 5 ? low[k] : high[k], tuned[k]) << "step " << k;
    EXPECT_NE(low[7], high[7]);
}

// A relay's held output survives a change of its thresholds, and model
// exchange takes the change in event mode only.
TEST_F(Fmus, ATunedThresholdKeepsTheHeldOutput) {
    Instance cs(open("quorvel"), fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, cs.initialize());
    cs.set_real("u", 4);  // above 3: 1, held
    ASSERT_EQ(fmi2OK, cs.fmi().DoStep(cs.component(), 0, 1, fmi2True));
    EXPECT_EQ(fmi2OK, cs.set_real("upper_threshold", 5)) << cs.last_message();
    EXPECT_EQ(5.0, cs.real("upper_threshold"));
    EXPECT_EQ(1, cs.integer("y"));  // 4 is inside the new band: the held 1 stays
    ASSERT_EQ(fmi2OK, cs.fmi().DoStep(cs.component(), 1, 1, fmi2True));
    EXPECT_EQ(1, cs.integer("held_output"));
    EXPECT_EQ(fmi2OK, cs.set_real("lower_threshold", 4.5));
    EXPECT_EQ(0, cs.integer("y"));  // now below the lower threshold

    Instance me(open("sarnith"), fmi2ModelExchange);
    ASSERT_EQ(fmi2OK, me.initialize());
    me.set_real("u", 0.5);  // below 1: 1
    ASSERT_EQ(fmi2OK, me.fmi().EnterContinuousTimeMode(me.component()));
    EXPECT_EQ(1.0, me.real("y"));
    EXPECT_EQ(fmi2Error, me.set_real("lower_threshold", 0.2));
    EXPECT_EQ("fmi2SetReal: 'lower_threshold' is a tunable parameter: set it in event mode, not in continuous-time "
              "mode",
              me.last_message());
    EXPECT_EQ(1.0, me.real("lower_threshold"));
    ASSERT_EQ(fmi2OK, me.fmi().EnterEventMode(me.component()));
    EXPECT_EQ(fmi2OK, me.set_real("lower_threshold", 0.2)) << me.last_message();
    EXPECT_EQ(1.0, me.real("y"));  // 0.5 is inside the new band: held
    EXPECT_EQ(fmi2OK, me.set_real("upper_threshold", 0.4));
    EXPECT_EQ(0.0, me.real("y"));  // and above the new upper threshold
}

// ---------------------------------------------------------------- instances

TEST_F(Fmus, InstancesOfOneFmuAndOfTwoCopiesAreIndependent) {
    Fmu& first = open("sarnith");
    Fmu& second = open("sarnith", "_copy");
    Instance a(first, fmi2CoSimulation, "a"), b(first, fmi2CoSimulation, "b"), c(second, fmi2CoSimulation, "c");
    b.set_real("upper_threshold", 10);
    for (Instance* fmu : {&a, &b, &c}) ASSERT_EQ(fmi2OK, fmu->initialize()) << fmu->last_message();
    // a and c leave the band at 4 (above 3: 0), b stays inside its own.
    for (Instance* fmu : {&a, &b, &c}) fmu->set_real("u", 0.5);
    for (Instance* fmu : {&a, &b, &c}) fmu->fmi().DoStep(fmu->component(), 0, 1, fmi2True);
    a.set_real("u", 2);
    b.set_real("u", 2);
    c.set_real("u", 4);
    EXPECT_EQ(1.0, a.real("y"));  // held from below 1
    EXPECT_EQ(1.0, b.real("y"));
    EXPECT_EQ(0.0, c.real("y"));
    EXPECT_EQ(1.0, a.real("held_output"));
    EXPECT_EQ(10.0, b.real("upper_threshold"));
    EXPECT_EQ(3.0, a.real("upper_threshold"));
}

TEST_F(Fmus, ResetGivesAFreshRun) {
    Instance fmu(open("quorvel"), fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, fmu.initialize());
    fmu.set_real("u", 4);
    fmu.fmi().DoStep(fmu.component(), 0, 1, fmi2True);
    fmu.set_real("u", 2);
    EXPECT_EQ(1, fmu.integer("y"));  // held
    ASSERT_EQ(fmi2OK, fmu.fmi().Reset(fmu.component()));
    ASSERT_EQ(fmi2OK, fmu.initialize());
    fmu.set_real("u", 2);
    EXPECT_EQ(0, fmu.integer("y"));  // nothing held
    EXPECT_EQ(0, fmu.integer("held_output"));
}

TEST_F(Fmus, AThousandInstantiateFreeCyclesRunCleanly) {
    Fmu& fmu = open("Brisquel");
    for (int cycle = 0; cycle < 1000; ++cycle) {
        Instance instance(fmu, cycle % 2 ? fmi2CoSimulation : fmi2ModelExchange);
        ASSERT_NE(nullptr, instance.component());
        ASSERT_EQ(fmi2OK, instance.initialize()) << instance.last_message();
        instance.set_real("measured", 0.5);
        ASSERT_TRUE(std::isfinite(instance.real("command")));
        if (cycle % 2) {
            ASSERT_EQ(fmi2OK, instance.fmi().DoStep(instance.component(), 0, 0.01, fmi2True));
        }
    }
}

// ---------------------------------------------------------------- errors

// A block FMU's fmi2DoStep takes internal steps of internal_step: a
// communication step of more of them than a blocksim run may take (an
// internal step of 1e-320 s, a step of 1e300 s) is refused before any is
// taken, and the instance goes on.
TEST_F(Fmus, ADoStepBeyondTheStepLimitIsRefusedAtOnce) {
    Fmu& fmu = open("Brisquel");
    Instance tiny(fmu, fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, tiny.set_real("internal_step", 1e-320));
    ASSERT_EQ(fmi2OK, tiny.initialize()) << tiny.last_message();
    EXPECT_EQ(fmi2Error, tiny.fmi().DoStep(tiny.component(), 0, 1e-3, fmi2True));
    EXPECT_EQ("fmi2DoStep: a communication step of 0.001 s is more than 1e9 internal steps of 1e-320 s, more than one "
              "call takes; take shorter communication steps or set a longer internal_step before initialization",
              tiny.last_message());
    EXPECT_EQ(fmi2OK, tiny.fmi().DoStep(tiny.component(), 0, 1e-318, fmi2True)) << tiny.last_message();

    Instance huge(fmu, fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, huge.initialize()) << huge.last_message();
    EXPECT_EQ(fmi2Error, huge.fmi().DoStep(huge.component(), 0, 1e300, fmi2True));
    EXPECT_EQ("fmi2DoStep: a communication step of 1e+300 s is more than 1e9 internal steps of 0.001 s, more than one "
              "call takes; take shorter communication steps or set a longer internal_step before initialization",
              huge.last_message());
    ASSERT_EQ(fmi2OK, huge.fmi().DoStep(huge.component(), 0, 0.01, fmi2True)) << huge.last_message();
    EXPECT_TRUE(std::isfinite(huge.real("x[1]")));
}

// A seeded random importer on every block: every FMI call in any order,
// with any values and resets between. None may crash or hang the process,
// and a refused or failed call must say why.
TEST_F(Fmus, CallsInAnyOrderNeverCrashAndEveryErrorHasAMessage) {
    std::mt19937 random(20261210);
    for (const auto& expected : expected_variables) {
        SCOPED_TRACE(expected.block);
        Fmu& fmu = open(expected.block);
        for (int run = 0; run < 20; ++run) {
            Instance instance(fmu, run % 2 ? fmi2CoSimulation : fmi2ModelExchange);
            ASSERT_NE(nullptr, instance.component());
            for (int call = 0; call < 60; ++call) {
                const std::size_t logged = instance.log().size();
                if (importer::random_call(instance, random) != fmi2OK) {
                    ASSERT_GT(instance.log().size(), logged) << "an error without a message at call " << call;
                    ASSERT_FALSE(instance.log().back().empty());
                }
            }
        }
    }
}

TEST_F(Fmus, CallsOutOfOrderAreErrorsWithAMessage) {
    Fmu& fmu = open("Brisquel");
    Instance cs(fmu, fmi2CoSimulation);
    EXPECT_EQ(fmi2Error, cs.fmi().DoStep(cs.component(), 0, 0.1, fmi2True));
    EXPECT_EQ("fmi2DoStep cannot be called when the instance is instantiated", cs.last_message());
    EXPECT_EQ(fmi2Error, cs.fmi().ExitInitializationMode(cs.component()));
    EXPECT_EQ("fmi2ExitInitializationMode cannot be called when the instance is instantiated", cs.last_message());
    cs.real("schedule_a");
    EXPECT_EQ(fmi2Error, cs.last_status());
    ASSERT_EQ(fmi2OK, cs.initialize());
    EXPECT_EQ(fmi2Error, cs.fmi().DoStep(cs.component(), 1.0, 0.1, fmi2True));
    EXPECT_EQ("fmi2DoStep: the communication point 1 is not where the last step ended, 0", cs.last_message());
    EXPECT_EQ(fmi2Error, cs.fmi().DoStep(cs.component(), 0, -0.1, fmi2True));
    EXPECT_EQ("fmi2DoStep: the communication step must be a positive number, not -0.1", cs.last_message());
    double x[2];
    EXPECT_EQ(fmi2Error, cs.fmi().GetContinuousStates(cs.component(), x, 2));
    EXPECT_EQ("fmi2GetContinuousStates: fmi2GetContinuousStates is a model-exchange function, and this instance is "
              "for co-simulation",
              cs.last_message());
    // Refused calls leave the instance usable.
    EXPECT_EQ(fmi2OK, cs.fmi().DoStep(cs.component(), 0, 0.1, fmi2True)) << cs.last_message();

    Instance me(fmu, fmi2ModelExchange);
    ASSERT_EQ(fmi2OK, me.initialize());
    EXPECT_EQ(fmi2Error, me.fmi().DoStep(me.component(), 0, 0.1, fmi2True));
    EXPECT_EQ("fmi2DoStep cannot be called when the instance is in event mode", me.last_message());
    EXPECT_EQ(fmi2Error, me.fmi().SetContinuousStates(me.component(), x, 2));
    EXPECT_EQ("fmi2SetContinuousStates cannot be called when the instance is in event mode", me.last_message());
    me.fmi().EnterContinuousTimeMode(me.component());
    EXPECT_EQ(fmi2Error, me.fmi().GetDerivatives(me.component(), x, 3));
    EXPECT_EQ("fmi2GetDerivatives: the model has 2 continuous states, the call gives 3", me.last_message());
}

TEST_F(Fmus, ValuesThatCannotBeSetOrReadAreRefusedByName) {
    Fmu& fmu = open("quorvel");
    Instance relay(fmu, fmi2CoSimulation);
    const fmi2ValueReference unknown = 999;
    double value = 1;
    EXPECT_EQ(fmi2Error, relay.fmi().SetReal(relay.component(), &unknown, 1, &value));
    EXPECT_EQ("fmi2SetReal: there is no variable with value reference 999", relay.last_message());
    EXPECT_EQ(fmi2Error, relay.set_real("y", 1));
    EXPECT_EQ("fmi2SetReal: 'y' (value reference 2) is an Integer, not a Real", relay.last_message());
    EXPECT_EQ(fmi2Error, relay.set_real("internal_step", 0));
    EXPECT_EQ("fmi2SetReal: internal_step must be a positive number of seconds, not 0", relay.last_message());
    ASSERT_EQ(fmi2OK, relay.initialize());
    EXPECT_EQ(fmi2Error, relay.set_real("internal_step", 0.5));
    EXPECT_EQ("fmi2SetReal: 'internal_step' is a fixed parameter: it cannot change after initialization",
              relay.last_message());
    const fmi2ValueReference output = fmu.description().value_reference("y");
    const int one = 1;
    EXPECT_EQ(fmi2Error, relay.fmi().SetInteger(relay.component(), &output, 1, &one));
    EXPECT_EQ("fmi2SetInteger: 'y' is computed by the block and cannot be set", relay.last_message());
}

TEST_F(Fmus, UnsupportedOptionalFunctionsSaySo) {
    Instance fmu(open("blower"), fmi2CoSimulation);
    fmi2FMUstate state = nullptr;
    EXPECT_EQ(fmi2Error, fmu.fmi().GetFMUstate(fmu.component(), &state));
    EXPECT_EQ("fmi2GetFMUstate is not supported: the FMU declares canGetAndSetFMUstate=\"false\"", fmu.last_message());
    EXPECT_EQ(fmi2Error, fmu.fmi().GetDirectionalDerivative(fmu.component(), nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ("fmi2GetDirectionalDerivative is not supported: the FMU declares providesDirectionalDerivative=\"false\"",
              fmu.last_message());
}

TEST_F(Fmus, ABrokenFmuIsRefusedWithAMessage) {
    write("corrupt.fmu", "PK\x03\x04 this is not a zip archive");
    try {
        Fmu broken(folder() / "corrupt.fmu", folder() / "corrupt");
        FAIL() << "a corrupt FMU was opened";
    } catch (const importer::ImportError& error) {
        EXPECT_EQ((folder() / "corrupt.fmu").string() + " is not an FMU: Not a zip archive", error.what());
    }
    // The binary is the whole block: nothing else lies beside it.
    Fmu& fmu = open("Tolvane");
    std::vector<std::string> binaries;
    for (const auto& entry : fs::directory_iterator(fmu.folder() / "binaries/linux64"))
        binaries.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"Tolvane.so"}, binaries);
    // Without the binary the importer cannot load it.
    fs::remove(fmu.folder() / "binaries/linux64/Tolvane.so");
    const std::string copy = (folder() / "missing.fmu").string();
    importer::pack(fmu.folder(), copy);
    try {
        Fmu missing(copy, folder() / "missing");
        FAIL() << "an FMU without a binary was opened";
    } catch (const importer::ImportError& error) {
        EXPECT_EQ(copy + " has no binary for linux64 (binaries/linux64/Tolvane.so)", error.what());
    }
}

}  // namespace

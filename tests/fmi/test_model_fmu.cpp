// blocksim export: a whole model as a co-simulation FMU, run by the tests'
// importer against blocksim run, with its Inports, Outports and parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <sstream>

#include "../blocksim_fixture.hpp"
#include "fmi/resource_uri.hpp"
#include "fmi3_importer.hpp"
#include "fmu_importer.hpp"
#include "standard_rules.hpp"

namespace {

using importer::Fmu;
using importer::Instance;

class ModelFmu : public Blocksim {
protected:
    Fmu& open(const std::string& file) {
        fmus_.push_back(std::make_unique<Fmu>(directory_ / file, directory_ / ("unpacked_" + file)));
        return *fmus_.back();
    }
    fs::path folder() const { return directory_; }

private:
    std::vector<std::unique_ptr<Fmu>> fmus_;
};

// Inport -> relay -> Outport 1; Inport -> gain -> Outport 2; the relay's
// thresholds and the gain are FMU parameters.
const char* const relay_model = R"(solver: {method: ode1, step: 1, stop: 5}
blocks:
  u:      {type: Inport, index: 1, value: 2}
  relay:  {sfunction: quorvel, parameters: [50, -50]}
  gain:   {type: Gain, gain: 1}
  flag:   {type: Outport, index: 1}
  scaled: {type: Outport, index: 2}
connections:
  - u.0 -> relay.0, gain.0
  - relay.0 -> flag.0
  - gain.0 -> scaled.0
)";

// The CSV's columns, in order, are the FMU's outputs, each by its label.
void expect_engine_demo_outputs(const std::vector<std::string>& header,
                                                            const std::vector<std::string>& names) {
    EXPECT_EQ(header.size(), names.size() + 1);
    const std::vector<std::string> labels = {
        "load ratio", "high-load flag", "set-point", "measured", "controller command", "schedule_a",
        "schedule_b", "valve lift", "crank angle", "scavenge pressure", "blower switch (1 on, 0 off)",
        "mass flow", "shaft power"};
    EXPECT_EQ(labels, names);
}

TEST_F(ModelFmu, TheEngineDemoReproducesBlocksimRunBitForBit) {
    const std::string demo = std::string(EXAMPLES_DIR) + "/engine.yaml";
    ASSERT_EQ(0, blocksim("run " + shell_word(demo) + " --out engine.csv --no-plot").status);
    const Result exported = blocksim("export " + shell_word(demo) + " --platforms linux64 --fmu engine.fmu");
    ASSERT_EQ(0, exported.status) << exported.output;
    EXPECT_EQ("blocksim: the FMU is for co-simulation only: block 'controller' (S-function 'Brisquel') hands out its "
              "outputs one evaluation late, so its results would depend on the order in which an importer calls the "
              "model; co-simulation runs the model's own solver instead\n"
              "engine.fmu: FMI 2.0 FMU engine for co-simulation, 0 inputs, 13 outputs, 0 parameters, ode4 solver, "
              "step 0.001 s; binaries for linux64\n",
              exported.output);
    const auto [header, rows] = csv("engine.csv");
    Fmu& fmu = open("engine.fmu");
    const auto& d = fmu.description();
    expect_follows_the_standard(d);
    expect_valid_against_schema(fmu.folder() / "modelDescription.xml", "2.0/fmi2ModelDescription.xsd");
    std::vector<std::string> names;
    for (const auto& v : d.variables) names.push_back(v.attribute("name"));
    expect_engine_demo_outputs(header, names);
    EXPECT_EQ("W", d.variable("shaft power").type_attributes.at("unit"));
    EXPECT_EQ("logged signal fan.2[0], in 'Blower shaft power'", d.variable("shaft power").attribute("description"));
    EXPECT_EQ((std::map<std::string, std::string>{{"kg", "1"}, {"m", "2"}, {"s", "-3"}}), d.units.at("W"));
    EXPECT_EQ("m", d.variable("valve lift").type_attributes.at("unit"));
    EXPECT_EQ("deg", d.variable("crank angle").type_attributes.at("unit"));
    EXPECT_EQ(0u, d.variable("load ratio").type_attributes.count("unit"));
    // Column k of the CSV is value reference k.
    std::vector<fmi2ValueReference> references;
    for (std::size_t column = 1; column < header.size(); ++column)
        references.push_back(static_cast<fmi2ValueReference>(column));
    Instance engine(fmu, fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, engine.initialize()) << engine.last_message();
    // Rows every 10 model steps: a communication step of 10 ms.
    std::vector<double> values(references.size());
    for (std::size_t row = 0; row < rows.size(); ++row) {
        ASSERT_EQ(fmi2OK, engine.fmi().GetReal(engine.component(), references.data(), references.size(), values.data()));
        for (std::size_t i = 0; i < values.size(); ++i)
            ASSERT_EQ(rows[row][i + 1], values[i]) << header[i + 1] << " at t = " << rows[row][0];
        if (row + 1 < rows.size()) {
            ASSERT_EQ(fmi2OK, engine.fmi().DoStep(engine.component(), static_cast<double>(row) * 0.01, 0.01, fmi2True))
                << engine.last_message();
        }
    }
    EXPECT_EQ(6001u, rows.size());
    EXPECT_EQ(fmi2OK, engine.fmi().Terminate(engine.component()));

    // The controller's lagged outputs keep the model from model exchange.
    EXPECT_TRUE(d.model_exchange.empty());
    Instance exchanged(fmu, fmi2ModelExchange);
    EXPECT_EQ(nullptr, exchanged.component());
    EXPECT_EQ("fmi2Instantiate: this FMU is for co-simulation only: block 'controller' (S-function 'Brisquel') hands "
              "out its outputs one evaluation late, so its results would depend on the order in which an importer "
              "calls the model; co-simulation runs the model's own solver instead",
              exchanged.last_message());
}

// An importer's explicit Euler over the model's states, with the Step's
// switch as a time event and a major step at each completed integrator
// step, gives blocksim run's ode1 rows bit for bit: the Lag's state, the
// relay's held flag (a memory block, updated at the major steps) and the
// Integrator's state.
const char* const exchange_model = R"(solver: {method: ode1, step: 0.125, stop: 3}
blocks:
  push:  {type: Step, time: 0.625, before: 0, after: 2}
  u:     {type: Inport, value: 0.5}
  sum:   {type: Sum, signs: "++"}
  lag:   {type: Lag, time_constant: 0.4}
  area:  {type: Integrator, initial: 1}
  relay: {sfunction: sarnith, parameters: [1.5, 1]}
  y:     {type: Outport, index: 1}
  flag:  {type: Outport, index: 2}
  total: {type: Outport, index: 3}
connections:
  - push.0 -> sum.0
  - u.0 -> sum.1
  - sum.0 -> lag.0
  - lag.0 -> y.0, area.0, relay.0
  - relay.0 -> flag.0
  - area.0 -> total.0
)";

TEST_F(ModelFmu, ModelExchangeByAnImportersEulerGivesTheOde1RunsRows) {
    write("exchange.yaml", exchange_model);
    write("logged.yaml", std::string(exchange_model) + "log:\n  groups:\n    all: [lag.0, relay.0, area.0]\n");
    ASSERT_EQ(0, blocksim("run logged.yaml --out exchange.csv --no-plot").status);
    const Result exported = blocksim("export exchange.yaml --platforms linux64 --fmu exchange.fmu");
    ASSERT_EQ(0, exported.status) << exported.output;
    EXPECT_EQ("exchange.fmu: FMI 2.0 FMU exchange for model exchange and co-simulation, 1 input, 3 outputs, 0 "
              "parameters, ode1 solver, step 0.125 s; binaries for linux64\n",
              exported.output);
    Fmu& fmu = open("exchange.fmu");
    const auto& d = fmu.description();
    expect_follows_the_standard(d);
    expect_valid_against_schema(fmu.folder() / "modelDescription.xml", "2.0/fmi2ModelDescription.xsd");
    EXPECT_EQ("2", d.model_exchange.count("modelIdentifier") ? std::to_string(d.states()) : "none");
    EXPECT_EQ("local", d.variable("lag.x").attribute("causality"));
    EXPECT_EQ("5", d.variable("der(lag.x)").type_attributes.at("derivative"));  // lag.x is value reference 5
    const auto [header, rows] = csv("exchange.csv");

    Instance model(fmu, fmi2ModelExchange);
    ASSERT_NE(nullptr, model.component()) << model.last_message();
    ASSERT_EQ(fmi2OK, model.initialize()) << model.last_message();
    fmi2EventInfo info{};
    ASSERT_EQ(fmi2OK, model.fmi().NewDiscreteStates(model.component(), &info));
    EXPECT_TRUE(info.nextEventTimeDefined);
    EXPECT_EQ(0.625, info.nextEventTime);
    ASSERT_EQ(fmi2OK, model.fmi().EnterContinuousTimeMode(model.component()));
    const double h = 0.125;
    std::vector<double> x(2), dx(2);
    std::size_t events = 0;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const double t = static_cast<double>(k) * h;
        ASSERT_EQ(rows[k][1], model.real("y")) << "t = " << t;
        ASSERT_EQ(rows[k][2], model.real("flag")) << "t = " << t;
        ASSERT_EQ(rows[k][3], model.real("total")) << "t = " << t;
        if (k + 1 == rows.size()) break;
        ASSERT_EQ(fmi2OK, model.fmi().GetContinuousStates(model.component(), x.data(), 2));
        ASSERT_EQ(fmi2OK, model.fmi().GetDerivatives(model.component(), dx.data(), 2)) << model.last_message();
        for (std::size_t i = 0; i < 2; ++i) x[i] = x[i] + h * dx[i];
        const double next = static_cast<double>(k + 1) * h;
        ASSERT_EQ(fmi2OK, model.fmi().SetTime(model.component(), next));
        ASSERT_EQ(fmi2OK, model.fmi().SetContinuousStates(model.component(), x.data(), 2));
        fmi2Boolean enter_event = fmi2True, stop = fmi2True;
        ASSERT_EQ(fmi2OK, model.fmi().CompletedIntegratorStep(model.component(), fmi2True, &enter_event, &stop));
        EXPECT_FALSE(enter_event);
        EXPECT_FALSE(stop);
        if (info.nextEventTimeDefined && next >= info.nextEventTime) {
            ++events;
            ASSERT_EQ(fmi2OK, model.fmi().EnterEventMode(model.component()));
            ASSERT_EQ(fmi2OK, model.fmi().NewDiscreteStates(model.component(), &info));
            EXPECT_FALSE(info.nextEventTimeDefined);
            ASSERT_EQ(fmi2OK, model.fmi().EnterContinuousTimeMode(model.component()));
        }
    }
    EXPECT_EQ(1u, events);
    EXPECT_EQ(25u, rows.size());
    EXPECT_EQ(0.0, model.real("flag"));  // switched off above 1.5, and stays
    EXPECT_EQ(1.0, rows.front()[2]);  // on below 1 at the start
    EXPECT_EQ(0.0, rows.back()[2]);
}

// The same model as an FMI 3.0 FMU for model exchange: the time event,
// the states with their derivatives and the outputs as the FMI 2.0 one's.
TEST_F(ModelFmu, ModelExchangeThroughFmi3GivesTheSameEquations) {
    write("exchange.yaml", exchange_model);
    ASSERT_EQ(0, blocksim("export exchange.yaml --fmu exchange2.fmu").status);
    ASSERT_EQ(0, blocksim("export exchange.yaml --fmi 3 --fmu exchange3.fmu").status);
    Fmu& fmu2 = open("exchange2.fmu");
    importer3::Fmu fmu3(folder() / "exchange3.fmu", folder() / "unpacked_exchange3");
    EXPECT_EQ("exchange", fmu3.description().model_exchange.at("modelIdentifier"));
    expect_valid_against_schema(fmu3.folder() / "modelDescription.xml", "3.0/fmi3ModelDescription.xsd");
    Instance two(fmu2, fmi2ModelExchange);
    importer3::Instance three(fmu3, importer3::Interface::model_exchange);
    ASSERT_EQ(fmi2OK, two.initialize()) << two.last_message();
    ASSERT_EQ(fmi3OK, three.initialize()) << three.last_message();
    fmi2EventInfo info{};
    ASSERT_EQ(fmi2OK, two.fmi().NewDiscreteStates(two.component(), &info));
    fmi3Boolean update = true, terminate = true, nominals = true, values = true, defined = false;
    fmi3Float64 next = 0;
    ASSERT_EQ(fmi3OK, three.fmi().UpdateDiscreteStates(three.instance(), &update, &terminate, &nominals, &values,
                                                        &defined, &next));
    EXPECT_TRUE(defined);
    EXPECT_EQ(0.625, next);
    EXPECT_FALSE(update || terminate || nominals || values);
    ASSERT_EQ(fmi2OK, two.fmi().EnterContinuousTimeMode(two.component()));
    ASSERT_EQ(fmi3OK, three.fmi().EnterContinuousTimeMode(three.instance()));
    const std::vector<double> x = {0.75, 2.5};
    std::vector<double> dx2(2), dx3(2);
    for (const double t : {0.25, 0.5}) {
        ASSERT_EQ(fmi2OK, two.fmi().SetTime(two.component(), t));
        ASSERT_EQ(fmi3OK, three.fmi().SetTime(three.instance(), t));
        ASSERT_EQ(fmi2OK, two.fmi().SetContinuousStates(two.component(), x.data(), 2));
        ASSERT_EQ(fmi3OK, three.fmi().SetContinuousStates(three.instance(), x.data(), 2));
        ASSERT_EQ(fmi2OK, two.fmi().GetDerivatives(two.component(), dx2.data(), 2));
        ASSERT_EQ(fmi3OK, three.fmi().GetContinuousStateDerivatives(three.instance(), dx3.data(), 2));
        EXPECT_EQ(dx2, dx3);
        // Lag: (push + u - y) / 0.4 with y = 0.75; Integrator: y.
        EXPECT_EQ(((t < 0.625 ? 0.0 : 2.0) + 0.5 - 0.75) / 0.4, dx3[0]) << t;
        EXPECT_EQ(0.75, dx3[1]);
        EXPECT_EQ(two.real("total"), three.value("total"));
    }
}

TEST_F(ModelFmu, TheEngineDemoAsAnFmi3FmuReproducesBlocksimRunBitForBit) {
    const std::string demo = std::string(EXAMPLES_DIR) + "/engine.yaml";
    ASSERT_EQ(0, blocksim("run " + shell_word(demo) + " --out engine.csv --no-plot").status);
    const Result exported = blocksim("export " + shell_word(demo) + " --fmi 3 --platforms linux64 --fmu engine3.fmu");
    ASSERT_EQ(0, exported.status) << exported.output;
    EXPECT_EQ("blocksim: the FMU is for co-simulation only: block 'controller' (S-function 'Brisquel') hands out its "
              "outputs one evaluation late, so its results would depend on the order in which an importer calls the "
              "model; co-simulation runs the model's own solver instead\n"
              "engine3.fmu: FMI 3.0 FMU engine for co-simulation, 0 inputs, 13 outputs, 0 parameters, ode4 solver, "
              "step 0.001 s; binaries for linux64\n",
              exported.output);
    const auto [header, rows] = csv("engine.csv");
    importer3::Fmu fmu(folder() / "engine3.fmu", folder() / "unpacked_engine3");
    const auto& d = fmu.description();
    EXPECT_EQ("3.0", d.attributes.at("fmiVersion"));
    EXPECT_TRUE(d.model_exchange.empty());
    expect_valid_against_schema(fmu.folder() / "modelDescription.xml", "3.0/fmi3ModelDescription.xsd");
    std::vector<std::string> names;
    for (const auto& v : d.variables) names.push_back(v.attribute("name"));
    expect_engine_demo_outputs(header, names);
    EXPECT_EQ("W", d.variable("shaft power").attribute("unit"));
    importer3::Instance engine(fmu, importer3::Interface::co_simulation);
    ASSERT_EQ(fmi3OK, engine.initialize()) << engine.last_message();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        for (std::size_t i = 1; i < header.size(); ++i)
            ASSERT_EQ(rows[row][i], engine.value(names[i - 1])) << header[i] << " at t = " << rows[row][0];
        if (row + 1 < rows.size()) {
            ASSERT_EQ(fmi3OK, engine.step(static_cast<double>(row) * 0.01, 0.01)) << engine.last_message();
        }
    }
}

// ode45 inside DoStep: communication points at the log interval's
// multiples give the rows blocksim run logs there, bit for bit, through
// the Step's switch (where the integrator starts again).
TEST_F(ModelFmu, AVariableStepModelIntegratesWithItsOwnSolverInsideDoStep) {
    write("variable.yaml", R"(solver: {method: ode45, stop: 4, rtol: 1e-6, atol: 1e-9}
blocks:
  push: {type: Step, time: 1.3, before: 0, after: 2}
  lag:  {type: Lag, time_constant: 0.4}
connections:
  - push.0 -> lag.0
log:
  interval: 0.125
  groups:
    lag: [{signal: lag.0, label: lagged push, unit: rpm}]
)");
    ASSERT_EQ(0, blocksim("run variable.yaml --out variable.csv --no-plot").status);
    const Result exported = blocksim("export variable.yaml --platforms linux64 --fmu variable.fmu");
    ASSERT_EQ(0, exported.status) << exported.output;
    EXPECT_EQ("variable.fmu: FMI 2.0 FMU variable for model exchange and co-simulation, 0 inputs, 1 output, 0 "
              "parameters, ode45 solver; binaries for linux64\n",
              exported.output);
    Fmu& fmu = open("variable.fmu");
    // A unit the FMUs' table does not know is defined by its name alone.
    EXPECT_EQ("rpm", fmu.description().variable("lagged push").type_attributes.at("unit"));
    EXPECT_TRUE(fmu.description().units.at("rpm").empty());
    expect_valid_against_schema(fmu.folder() / "modelDescription.xml", "2.0/fmi2ModelDescription.xsd");
    const std::string xml = read(fs::relative(fmu.folder() / "modelDescription.xml", folder()).string());
    EXPECT_NE(std::string::npos, xml.find("<DefaultExperiment startTime=\"0\" stopTime=\"4\" stepSize=\"0.125\"/>")) << xml;
    const auto [header, rows] = csv("variable.csv");
    ASSERT_EQ(33u, rows.size());
    Instance model(fmu, fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, model.initialize()) << model.last_message();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        ASSERT_EQ(rows[row][1], model.real("lagged push")) << "at t = " << rows[row][0];
        if (row + 1 < rows.size()) {
            ASSERT_EQ(fmi2OK, model.fmi().DoStep(model.component(), static_cast<double>(row) * 0.125, 0.125, fmi2True))
                << model.last_message();
        }
    }
    EXPECT_NEAR(2 * (1 - std::exp(-2.7 / 0.4)), rows.back()[1], 1e-5);
    // Any communication step: one of 0.3 s ends at 4.3 s.
    ASSERT_EQ(fmi2OK, model.fmi().DoStep(model.component(), 4, 0.3, fmi2True)) << model.last_message();
    double time = 0;
    ASSERT_EQ(fmi2OK, model.fmi().GetRealStatus(model.component(), fmi2LastSuccessfulTime, &time));
    EXPECT_EQ(4.3, time);
    // Beyond 1e9 of the model's max_step (its stop time / 50 here): refused at once.
    EXPECT_EQ(fmi2Error, model.fmi().DoStep(model.component(), 4.3, 1e300, fmi2True));
    EXPECT_EQ("fmi2DoStep: a communication step of 1e+300 s is more than 1e9 of the model's max_step of 0.08 s, more "
              "than one call takes; take shorter communication steps",
              model.last_message());

    // A model without states or a stop time (so without a max_step) steps straight to the point.
    write("constant.yaml", "solver: {method: ode23, stop: 0}\nblocks:\n  c: {type: Clock}\n  y: {type: Outport}\n"
                           "connections:\n  - c.0 -> y.0\n");
    ASSERT_EQ(0, blocksim("export constant.yaml --platforms linux64 --fmu constant.fmu").status);
    Instance constant(open("constant.fmu"), fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, constant.initialize()) << constant.last_message();
    ASSERT_EQ(fmi2OK, constant.fmi().DoStep(constant.component(), 0, 2.5, fmi2True)) << constant.last_message();
    EXPECT_EQ(2.5, constant.real("y"));
}

TEST_F(ModelFmu, InportsOutportsAndParametersAsDeclared) {
    write("relay.yaml", relay_model);
    ASSERT_EQ(0, blocksim("export relay.yaml --fmu relay.fmu --parameter relay.parameter1 --parameter "
                          "relay.parameter2 --parameter gain.gain")
                     .status);
    Fmu& fmu = open("relay.fmu");
    const auto& d = fmu.description();
    EXPECT_EQ("flat", d.attributes.at("variableNamingConvention"));
    EXPECT_EQ("relay", d.model_exchange.at("modelIdentifier"));
    EXPECT_EQ("relay", d.co_simulation.at("modelIdentifier"));
    EXPECT_EQ("0", d.attributes.at("numberOfEventIndicators"));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"u", "input"}, {"flag", "output"}, {"scaled", "output"},
        {"relay.parameter1", "parameter"}, {"relay.parameter2", "parameter"}, {"gain.gain", "parameter"}};
    ASSERT_EQ(expected.size(), d.variables.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, d.variables[i].attribute("name"));
        EXPECT_EQ(expected[i].second, d.variables[i].attribute("causality"));
        EXPECT_EQ(std::to_string(i + 1), d.variables[i].attribute("valueReference"));
    }
    EXPECT_EQ("Integer", d.variable("flag").type);  // quorvel's int32
    EXPECT_EQ("2", d.variable("u").type_attributes.at("start"));
    EXPECT_EQ("50", d.variable("relay.parameter1").type_attributes.at("start"));
    EXPECT_EQ((std::vector<unsigned>{2, 3}), d.outputs);
    expect_follows_the_standard(d);
    expect_valid_against_schema(fmu.folder() / "modelDescription.xml", "2.0/fmi2ModelDescription.xsd");

    // The worked example through the model, with the thresholds set as parameters.
    Instance model(fmu, fmi2CoSimulation);
    model.set_real("relay.parameter1", 3);
    model.set_real("relay.parameter2", 1);
    model.set_real("gain.gain", 2.5);
    ASSERT_EQ(fmi2OK, model.initialize()) << model.last_message();
    std::vector<int> flags;
    const double inputs[] = {2, 4, 2, 0.5, 2, 3};
    for (int k = 0; k < 6; ++k) {
        model.set_real("u", inputs[k]);
        flags.push_back(model.integer("flag"));
        EXPECT_EQ(2.5 * inputs[k], model.real("scaled"));
        ASSERT_EQ(fmi2OK, model.fmi().DoStep(model.component(), k, 1, fmi2True)) << model.last_message();
    }
    EXPECT_EQ((std::vector<int>{0, 1, 1, 0, 0, 0}), flags);
    EXPECT_EQ(fmi2Error, model.set_real("gain.gain", 1));
    EXPECT_EQ("fmi2SetReal: 'gain.gain' is a fixed parameter: it cannot change after initialization",
              model.last_message());
    EXPECT_EQ("tunable", d.variable("relay.parameter1").attribute("variability"));
    EXPECT_EQ("fixed", d.variable("gain.gain").attribute("variability"));
    EXPECT_EQ(fmi2Error, model.fmi().DoStep(model.component(), 6, 1.5, fmi2True));
    EXPECT_EQ("fmi2DoStep: the communication step 1.5 is no whole number of the model's steps of 1 s",
              model.last_message());
}

// A dialog parameter changed between communication steps reaches the
// running block: the relay's upper threshold lowered below the input
// switches it on at the next step, and the flag it holds stays.
TEST_F(ModelFmu, ATunableDialogParameterChangesTheRunningBlock) {
    write("relay.yaml", relay_model);
    ASSERT_EQ(0, blocksim("export relay.yaml --fmu relay.fmu --parameter relay.parameter1").status);
    Instance model(open("relay.fmu"), fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, model.initialize()) << model.last_message();
    std::vector<int> flags;
    for (int k = 0; k < 6; ++k) {
        if (k == 2) {
            ASSERT_EQ(fmi2OK, model.set_real("relay.parameter1", 1.5)) << model.last_message();
        }
        if (k == 4) {
            ASSERT_EQ(fmi2OK, model.set_real("relay.parameter1", 50)) << model.last_message();
        }
        flags.push_back(model.integer("flag"));
        ASSERT_EQ(fmi2OK, model.fmi().DoStep(model.component(), k, 1, fmi2True)) << model.last_message();
    }
    EXPECT_EQ((std::vector<int>{0, 0, 1, 1, 1, 1}), flags);
    EXPECT_EQ(50, model.real("relay.parameter1"));
}

// What a shell command prints, and its exit status.
Result shell(const std::string& command) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    std::string output;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// An exported FMU loads on a machine without yaml-cpp and SUNDIALS: its
// binaries need only the C and C++ runtimes and each other. Then the
// engine demo runs through it in a process for which the system's
// yaml-cpp and SUNDIALS libraries are empty files (a mount namespace of
// its own), where loading any of them fails.
TEST_F(ModelFmu, TheFmuNeedsNothingOfTheMachineButTheRuntimes) {
#ifndef MODEL_FMU_STATIC_YAML_CPP
    GTEST_SKIP() << "this build links the system's shared yaml-cpp (scripts/build-static-libs.sh linux builds a "
                    "static one from Debian's sources, which scripts/install-deps.sh windows fetches)";
#endif
    const std::string demo = std::string(EXAMPLES_DIR) + "/engine.yaml";
    ASSERT_EQ(0, blocksim("export " + shell_word(demo) + " --fmu engine.fmu").status);
    importer::unpack(folder() / "engine.fmu", folder() / "unpacked");
    const std::set<std::string> runtimes = {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1",
                                            "ld-linux-x86-64.so.2"};
    std::set<std::string> inside;
    for (const auto& entry : fs::recursive_directory_iterator(folder() / "unpacked"))
        inside.insert(entry.path().filename().string());
    std::size_t binaries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder() / "unpacked")) {
        const std::string name = entry.path().filename().string();
        if (name.find(".so") == std::string::npos && name.find(".mexa64") == std::string::npos) continue;
        ++binaries;
        const Result dynamic = shell("readelf -d " + shell_word(entry.path().string()));
        ASSERT_EQ(0, dynamic.status) << dynamic.output;
        std::istringstream lines(dynamic.output);
        for (std::string line; std::getline(lines, line);) {
            const auto open = line.find("Shared library: ["), close = line.rfind(']');
            if (open == std::string::npos) continue;
            const std::string needed = line.substr(open + 17, close - open - 17);
#ifdef BLOCKS_SANITIZED
            // The sanitizers' runtimes, which the sanitized build's binaries need.
            if (needed.rfind("libasan.so", 0) == 0 || needed.rfind("libubsan.so", 0) == 0) continue;
#endif
            EXPECT_TRUE(runtimes.count(needed) || inside.count(needed)) << name << " needs " << needed;
        }
    }
    EXPECT_EQ(7u, binaries);  // the model's binary, the MEX library and five blocks

    if (std::getenv("MODEL_FMU_HIDDEN_LIBRARIES")) return;  // the run below, inside
    const Result probe = shell("unshare --mount true");
    if (probe.status != 0) GTEST_SKIP() << "no mount namespace for this user (unshare --mount: " << probe.output << ")";
    const std::string hide =
        "for f in $(find /usr/lib /lib -name 'libyaml-cpp.so*' -o -name 'libsundials_*.so*' 2>/dev/null); do "
        "[ -L \"$f\" ] || mount --bind /dev/null \"$f\" || exit 90; done; ";
    const Result hidden = shell("MODEL_FMU_HIDDEN_LIBRARIES=1 unshare --mount sh -c " +
                                shell_word(hide + "exec " + shell_word(fs::read_symlink("/proc/self/exe").string()) +
                                           " --gtest_filter=ModelFmu.TheEngineDemoReproducesBlocksimRunBitForBit:"
                                           "ModelFmu.TheFmuNeedsNothingOfTheMachineButTheRuntimes"));
    EXPECT_EQ(0, hidden.status) << hidden.output;
    EXPECT_NE(std::string::npos, hidden.output.find("[  PASSED  ] 2 tests.")) << hidden.output;
}

TEST_F(ModelFmu, AParameterABlockRefusesFailsTheInitializationWithItsMessage) {
    write("lag.yaml", R"(solver: {method: ode4, step: 0.1, stop: 1}
blocks:
  u:   {type: Inport}
  lag: {type: Lag, time_constant: 2}
  y:   {type: Outport}
connections:
  - u.0 -> lag.0
  - lag.0 -> y.0
)");
    ASSERT_EQ(0, blocksim("export lag.yaml --fmu lag.fmu --parameter lag.time_constant").status);
    Fmu& fmu = open("lag.fmu");
    Instance refused(fmu, fmi2CoSimulation);
    EXPECT_EQ(fmi2OK, refused.set_real("lag.time_constant", -1));
    EXPECT_EQ(fmi2Error, refused.initialize());
    EXPECT_EQ("lag.time_constant must be positive, not -1", refused.last_message());
    // A run with an accepted value: y' = (u - y) / 0.5 by ode4.
    Instance lag(fmu, fmi2CoSimulation);
    lag.set_real("lag.time_constant", 0.5);
    ASSERT_EQ(fmi2OK, lag.initialize()) << lag.last_message();
    lag.set_real("u", 1);
    for (int k = 0; k < 10; ++k) ASSERT_EQ(fmi2OK, lag.fmi().DoStep(lag.component(), k * 0.1, 0.1, fmi2True));
    EXPECT_NEAR(1 - std::exp(-2.0), lag.real("y"), 1e-5);
}

// fmi2Reset makes the model anew from the resources; when that fails, the
// instance has no model, and every call that needs one says so instead of
// reaching into what is gone. Once the resources are mended, a reset works.
TEST_F(ModelFmu, AFailedResetLeavesAnInstanceThatRefusesWhatNeedsTheModel) {
    write("relay.yaml", relay_model);
    ASSERT_EQ(0, blocksim("export relay.yaml --fmu relay.fmu").status);
    Fmu& fmu = open("relay.fmu");
    Instance model(fmu, fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, model.initialize()) << model.last_message();
    ASSERT_EQ(fmi2OK, model.fmi().DoStep(model.component(), 0, 1, fmi2True));
    const fs::path unpacked = fmu.folder() / "resources/model/relay.yaml";
    ASSERT_TRUE(fs::exists(unpacked));
    const std::string good = read(fs::relative(unpacked, folder()).string());
    write(fs::relative(unpacked, folder()).string(), "blocks: [");
    EXPECT_EQ(fmi2Error, model.fmi().Reset(model.component()));
    EXPECT_NE(std::string::npos, model.last_message().find("resources/model/relay.yaml:1: ")) << model.last_message();

    const std::string no_model = "the instance has no model since fmi2Reset failed; call fmi2Reset again or fmi2FreeInstance";
    model.integer("flag");
    EXPECT_EQ(fmi2Error, model.last_status());
    EXPECT_EQ("fmi2GetInteger: " + no_model, model.last_message());
    model.real("u");
    EXPECT_EQ(fmi2Error, model.last_status());
    EXPECT_EQ("fmi2GetReal: " + no_model, model.last_message());
    double time = -1;
    EXPECT_EQ(fmi2Error, model.fmi().GetRealStatus(model.component(), fmi2LastSuccessfulTime, &time));
    EXPECT_EQ("fmi2GetRealStatus: " + no_model, model.last_message());
    EXPECT_EQ(fmi2Error, model.fmi().DoStep(model.component(), 1, 1, fmi2True));
    EXPECT_EQ("fmi2DoStep cannot be called when the instance is in error after a failed call", model.last_message());
    EXPECT_EQ(fmi2Error, model.fmi().Reset(model.component()));

    write(fs::relative(unpacked, folder()).string(), good);
    ASSERT_EQ(fmi2OK, model.fmi().Reset(model.component())) << model.last_message();
    ASSERT_EQ(fmi2OK, model.initialize()) << model.last_message();
    model.set_real("u", 2);
    EXPECT_EQ(2, model.real("scaled"));
}

// The random importer on a model FMU whose initialisation fails (a time
// constant the Lag refuses) and whose resets fail (its model file broken
// and mended between calls): no call may crash, and every error says why.
TEST_F(ModelFmu, CallsInAnyOrderWithFailingResetsAndInitialisationsNeverCrash) {
    write("lag.yaml", "solver: {method: ode4, step: 0.01, stop: 1}\nblocks:\n  u: {type: Inport}\n"
                      "  lag: {type: Lag, time_constant: 2}\n  y: {type: Outport}\nconnections:\n"
                      "  - u.0 -> lag.0\n  - lag.0 -> y.0\n");
    ASSERT_EQ(0, blocksim("export lag.yaml --fmu lag.fmu --parameter lag.time_constant").status);
    Fmu& fmu = open("lag.fmu");
    const std::string model_file = fs::relative(fmu.folder() / "resources/model/lag.yaml", folder()).string();
    const std::string good = read(model_file);
    std::mt19937 random(20261210);
    std::size_t failed_resets = 0, failed_initialisations = 0;
    for (int run = 0; run < 30; ++run) {
        Instance instance(fmu, fmi2CoSimulation);
        ASSERT_NE(nullptr, instance.component());
        if (run % 3 == 0) instance.set_real("lag.time_constant", -1);
        for (int call = 0; call < 60; ++call) {
            if (random() % 10 == 0) write(model_file, random() % 2 ? good : "blocks: [");
            const std::size_t logged = instance.log().size();
            const fmi2Status status = importer::random_call(instance, random);
            if (status == fmi2OK) continue;
            ASSERT_GT(instance.log().size(), logged) << "an error without a message at call " << call;
            const std::string& message = instance.log().back();
            failed_resets += message.find("resources/model/lag.yaml:1: ") != std::string::npos;
            failed_initialisations += message == "lag.time_constant must be positive, not -1";
        }
        write(model_file, good);
    }
    EXPECT_GT(failed_resets, 0u) << "the sequences never reset with a broken model";
    EXPECT_GT(failed_initialisations, 0u) << "the sequences never failed an initialisation";
}

// One fmi2DoStep does as much work as a blocksim run at most: a
// communication step of more model steps than a run may take is refused
// before any is taken, and the instance goes on.
TEST_F(ModelFmu, ACommunicationStepBeyondTheStepLimitIsRefusedAtOnce) {
    write("relay.yaml", relay_model);
    ASSERT_EQ(0, blocksim("export relay.yaml --fmu relay.fmu").status);
    Instance model(open("relay.fmu"), fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, model.initialize()) << model.last_message();
    for (const double step : {1e17, 1e300, 2e9}) {
        EXPECT_EQ(fmi2Error, model.fmi().DoStep(model.component(), 0, step, fmi2True));
        EXPECT_EQ("fmi2DoStep: a communication step of " + host::format_number(step) +
                      " s is more than 1e9 of the model's steps of 1 s, more than one call takes; take shorter "
                      "communication steps",
                  model.last_message());
    }
    EXPECT_EQ(fmi2OK, model.fmi().DoStep(model.component(), 0, 3, fmi2True)) << model.last_message();
    double time = 0;
    ASSERT_EQ(fmi2OK, model.fmi().GetRealStatus(model.component(), fmi2LastSuccessfulTime, &time));
    EXPECT_EQ(3.0, time);
}

TEST_F(ModelFmu, ExportRefusesWhatCannotBeAnFmu) {
    write("relay.yaml", relay_model);
    Result result = blocksim("export relay.yaml --fmu relay.fmu --fmi 1");
    EXPECT_EQ(2, result.status);
    EXPECT_EQ("blocksim export: --fmi: 1 not in {2,3} (see 'blocksim export --help')\n", result.output);
    result = blocksim("export relay.yaml --fmu relay.fmu --parameter relay.gain");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: relay.gain: S-function block 'relay' has dialog parameters, not keys: write "
              "relay.parameterN (N from 1)\n",
              result.output);
    result = blocksim("export relay.yaml --fmu relay.fmu --parameter relay.parameter3");
    EXPECT_EQ("blocksim: error: relay.parameter3: S-function block 'relay' has 2 dialog parameters\n", result.output);
    result = blocksim("export relay.yaml --fmu relay.fmu --parameter gain.gain[1]");
    EXPECT_EQ("blocksim: error: gain.gain[1]: Gain block 'gain' element 1 is beyond 'gain', which has 1 element\n",
              result.output);
    result = blocksim("export relay.yaml --fmu relay.fmu --parameter gian.gain");
    EXPECT_EQ("blocksim: error: gian.gain: the model has no block 'gian' (did you mean 'gain'?)\n", result.output);
    result = blocksim("export relay.yaml --fmu relay.yaml");
    EXPECT_EQ(2, result.status);
    EXPECT_EQ("blocksim export: --fmu names the FMU to write, which ends in .fmu, not 'relay.yaml' (see 'blocksim "
              "export --help')\n",
              result.output);

    write("inside/table.yaml", "solver: {method: ode1, step: 1, stop: 2}\nblocks:\n  t: {type: Table, file: ../inputs.csv}\n");
    write("inputs.csv", "time,u\n0,1\n2,3\n");
    result = blocksim("export inside/table.yaml --fmu table.fmu");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("is outside the model's folder")) << result.output;
    EXPECT_FALSE(fs::exists(folder() / "table.fmu"));
    EXPECT_TRUE(temporary_files().empty());
}

// The Windows binaries come from a folder win64 (win32) in a --path folder
// or beside blocksim's libraries: the binary that runs a model under the
// model's name, the DLLs beside it, and each S-function's library for
// that Windows in resources/libraries. Here the folders hold stand-ins.
TEST_F(ModelFmu, WindowsBinariesComeFromTheirFolderAndAPlatformThatCannotBeBuiltIsRefused) {
    write("relay.yaml", relay_model);
    for (const char* file : {"fmu_model.dll", "libmx.dll", "libmex.dll", "quorvel.mexw64"})
        write(std::string("platforms/win64/") + file, std::string("stand-in ") + file);
    write("platforms/win32/fmu_model.dll", "stand-in");  // without quorvel.mexw32
    Result result = blocksim("export relay.yaml --fmu relay.fmu --path platforms --platforms linux64,win64");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_EQ("relay.fmu: FMI 2.0 FMU relay for model exchange and co-simulation, 1 input, 2 outputs, 0 parameters, "
              "ode1 solver, step 1 s; binaries for linux64, win64\n",
              result.output);
    importer::unpack(folder() / "relay.fmu", folder() / "relay");
    EXPECT_EQ("stand-in fmu_model.dll", read("relay/binaries/win64/relay.dll"));
    EXPECT_EQ("stand-in libmx.dll", read("relay/binaries/win64/libmx.dll"));
    EXPECT_EQ("stand-in libmex.dll", read("relay/binaries/win64/libmex.dll"));
    EXPECT_EQ("stand-in quorvel.mexw64", read("relay/resources/libraries/quorvel.mexw64"));
    EXPECT_TRUE(fs::exists(folder() / "relay/resources/libraries/quorvel.mexa64"));
    EXPECT_TRUE(fs::exists(folder() / "relay/binaries/linux64/relay.so"));
    EXPECT_FALSE(fs::exists(folder() / "relay/binaries/win64/fmu_model.dll"));
    EXPECT_FALSE(fs::exists(folder() / "relay/binaries/win32"));

    // FMI 3.0's folder names; a platform asked for alone.
    ASSERT_EQ(0, blocksim("export relay.yaml --fmi 3 --fmu relay3.fmu --path platforms --platforms win64").status);
    importer::unpack(folder() / "relay3.fmu", folder() / "relay3");
    EXPECT_EQ("stand-in fmu_model.dll", read("relay3/binaries/x86_64-windows/relay.dll"));
    EXPECT_FALSE(fs::exists(folder() / "relay3/binaries/x86_64-linux"));

    // win32 cannot be built: refused when asked for, left out with a note when not.
    result = blocksim("export relay.yaml --fmu relay32.fmu --path platforms --platforms win32");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: cannot export for win32: no win32 library of S-function 'quorvel' in " +
                  std::string("platforms/win32\n"),
              result.output);
    EXPECT_FALSE(fs::exists(folder() / "relay32.fmu"));
    result = blocksim("export relay.yaml --fmu relay_all.fmu --path platforms");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("blocksim: win32 left out: no win32 library of S-function 'quorvel' in " +
                                                    std::string("platforms/win32\n")))
        << result.output;
    EXPECT_NE(std::string::npos, result.output.find("; binaries for linux64, win64\n")) << result.output;
    result = blocksim("export relay.yaml --fmu relay.fmu --platforms win16");
    EXPECT_EQ(2, result.status);
    EXPECT_EQ("blocksim export: --platforms: win16 not in {linux64,win64,win32} (see 'blocksim export --help')\n",
              result.output);
}

// An importer on Windows names its resources folder by drive.
TEST(ResourceUris, AFileUriBecomesAPathOfThisMachine) {
    EXPECT_EQ(fs::path("/tmp/a b/resources"), fmu::path_of_uri("file:///tmp/a%20b/resources"));
    EXPECT_EQ(fs::path("/tmp/x"), fmu::path_of_uri("file://localhost/tmp/x"));
    EXPECT_EQ(fs::path("C:/Users/engine/resources"), fmu::path_of_uri("file:///C:/Users/engine/resources"));
    EXPECT_EQ(fs::path("z:/work"), fmu::path_of_uri("file:/z:/work"));
}

TEST_F(ModelFmu, ATableTravelsWithTheModel) {
    write("tabled/model.yaml", R"(solver: {method: ode1, step: 0.5, stop: 2}
blocks:
  t: {type: Table, file: data/u.csv}
  y: {type: Outport}
connections:
  - t.0 -> y.0
)");
    write("tabled/data/u.csv", "time,u\n0,1\n2,3\n");
    ASSERT_EQ(0, blocksim("export tabled/model.yaml --fmu tabled.fmu").status);
    fs::remove_all(folder() / "tabled");  // the FMU needs none of the originals
    Fmu& fmu = open("tabled.fmu");
    Instance model(fmu, fmi2CoSimulation);
    ASSERT_EQ(fmi2OK, model.initialize()) << model.last_message();
    std::vector<double> y;
    for (int k = 0; k <= 4; ++k) {
        y.push_back(model.real("y"));
        model.fmi().DoStep(model.component(), k * 0.5, 0.5, fmi2True);
    }
    EXPECT_EQ((std::vector<double>{1, 1.5, 2, 2.5, 3}), y);
}

}  // namespace

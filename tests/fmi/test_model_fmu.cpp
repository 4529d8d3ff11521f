// blocksim export: a whole model as a co-simulation FMU, run by the tests'
// importer against blocksim run, with its Inports, Outports and parameters.
#include <gtest/gtest.h>

#include <cmath>

#include "../blocksim_fixture.hpp"
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

TEST_F(ModelFmu, TheEngineDemoReproducesBlocksimRunBitForBit) {
    const std::string demo = std::string(EXAMPLES_DIR) + "/engine.yaml";
    ASSERT_EQ(0, blocksim("run " + shell_word(demo) + " --out engine.csv --no-plot").status);
    const Result exported = blocksim("export " + shell_word(demo) + " --fmu engine.fmu");
    ASSERT_EQ(0, exported.status) << exported.output;
    EXPECT_EQ("engine.fmu: co-simulation FMU engine, 0 inputs, 13 outputs, 0 parameters, model step 0.001 s\n",
              exported.output);
    const auto [header, rows] = csv("engine.csv");
    Fmu& fmu = open("engine.fmu");
    expect_follows_the_standard(fmu.description());
    std::vector<fmi2ValueReference> references;
    for (std::size_t column = 1; column < header.size(); ++column)
        references.push_back(fmu.description().value_reference(header[column]));
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
}

TEST_F(ModelFmu, InportsOutportsAndParametersAsDeclared) {
    write("relay.yaml", relay_model);
    ASSERT_EQ(0, blocksim("export relay.yaml --fmu relay.fmu --parameter relay.parameter1 --parameter "
                          "relay.parameter2 --parameter gain.gain")
                     .status);
    Fmu& fmu = open("relay.fmu");
    const auto& d = fmu.description();
    EXPECT_EQ("flat", d.attributes.at("variableNamingConvention"));
    EXPECT_TRUE(d.model_exchange.empty());
    EXPECT_EQ("relay", d.co_simulation.at("modelIdentifier"));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"u[1]", "input"}, {"flag[1]", "output"}, {"scaled[1]", "output"},
        {"relay.parameter1", "parameter"}, {"relay.parameter2", "parameter"}, {"gain.gain", "parameter"}};
    ASSERT_EQ(expected.size(), d.variables.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, d.variables[i].attribute("name"));
        EXPECT_EQ(expected[i].second, d.variables[i].attribute("causality"));
        EXPECT_EQ(std::to_string(i + 1), d.variables[i].attribute("valueReference"));
    }
    EXPECT_EQ("Integer", d.variable("flag[1]").type);  // quorvel's int32
    EXPECT_EQ("2", d.variable("u[1]").type_attributes.at("start"));
    EXPECT_EQ("50", d.variable("relay.parameter1").type_attributes.at("start"));
    EXPECT_EQ((std::vector<unsigned>{2, 3}), d.outputs);
    expect_follows_the_standard(d);

    // The worked example through the model, with the thresholds set as parameters.
    Instance model(fmu, fmi2CoSimulation);
    model.set_real("relay.parameter1", 3);
    model.set_real("relay.parameter2", 1);
    model.set_real("gain.gain", 2.5);
    ASSERT_EQ(fmi2OK, model.initialize()) << model.last_message();
    std::vector<int> flags;
    const double inputs[] = {2, 4, 2, 0.5, 2, 3};
    for (int k = 0; k < 6; ++k) {
        model.set_real("u[1]", inputs[k]);
        flags.push_back(model.integer("flag[1]"));
        EXPECT_EQ(2.5 * inputs[k], model.real("scaled[1]"));
        ASSERT_EQ(fmi2OK, model.fmi().DoStep(model.component(), k, 1, fmi2True)) << model.last_message();
    }
    EXPECT_EQ((std::vector<int>{0, 1, 1, 0, 0, 0}), flags);
    EXPECT_EQ(fmi2Error, model.set_real("gain.gain", 1));
    EXPECT_EQ("fmi2SetReal: 'gain.gain' is a fixed parameter: it cannot change after initialization",
              model.last_message());
    EXPECT_EQ(fmi2Error, model.fmi().DoStep(model.component(), 6, 1.5, fmi2True));
    EXPECT_EQ("fmi2DoStep: the communication step 1.5 is no whole number of the model's steps of 1 s",
              model.last_message());
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
    lag.set_real("u[1]", 1);
    for (int k = 0; k < 10; ++k) ASSERT_EQ(fmi2OK, lag.fmi().DoStep(lag.component(), k * 0.1, 0.1, fmi2True));
    EXPECT_NEAR(1 - std::exp(-2.0), lag.real("y[1]"), 1e-5);
}

TEST_F(ModelFmu, ExportRefusesWhatCannotBeAnFmu) {
    write("variable.yaml", "solver: {method: ode45, stop: 1}\nblocks:\n  c: {type: Constant, value: 1}\n");
    Result result = blocksim("export variable.yaml --fmu variable.fmu");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: variable.yaml: the FMU runs the model's solver inside fmi2DoStep, which must be a "
              "fixed-step method (ode1 to ode4), not ode45\n",
              result.output);

    write("relay.yaml", relay_model);
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
        y.push_back(model.real("y[1]"));
        model.fmi().DoStep(model.component(), k * 0.5, 0.5, fmi2True);
    }
    EXPECT_EQ((std::vector<double>{1, 1.5, 2, 2.5, 3}), y);
}

}  // namespace

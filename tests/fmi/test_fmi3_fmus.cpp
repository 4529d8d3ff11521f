// Every block's FMI 3.0 FMU as an FMI 3.0 tool meets it: its description
// against the standard's schema, with arrays where FMI 2.0 lists elements,
// the worked examples through co-simulation and model exchange, arrays set
// and read whole, the same numbers as the FMI 2.0 FMU, and the errors an
// importer can provoke.
#include <gtest/gtest.h>

#include "../blocksim_fixture.hpp"
#include "../worked_examples.hpp"
#include "block_manifest.hpp"
#include "fmi3_importer.hpp"
#include "fmu_importer.hpp"
#include "standard_rules.hpp"

namespace {

using importer3::Fmu;
using importer3::Instance;
using importer3::Interface;

class Fmi3Fmus : public Blocksim {
protected:
    Fmu& open(const std::string& block, const std::string& copy = "") {
        fmus_.push_back(std::make_unique<Fmu>(fs::path(FMU_DIR) / "fmi3" / (block + ".fmu"),
                                              directory_ / ("fmi3_" + block + copy)));
        return *fmus_.back();
    }

private:
    std::vector<std::unique_ptr<Fmu>> fmus_;
};

TEST_F(Fmi3Fmus, DescriptionsValidateAndDeclareArraysUnitsAndTheRecordsNames) {
    for (const auto& block : blocks::manifest) {
        SCOPED_TRACE(block.name);
        Fmu& fmu = open(block.name);
        const auto& d = fmu.description();
        expect_valid_against_schema(fmu.folder() / "modelDescription.xml", "3.0/fmi3ModelDescription.xsd");
        EXPECT_EQ("3.0", d.attributes.at("fmiVersion"));
        EXPECT_EQ(block.name, d.co_simulation.at("modelIdentifier"));
        EXPECT_EQ(block.name, d.model_exchange.at("modelIdentifier"));
        // The same model as the FMI 2.0 FMU, under the same GUID.
        importer::Fmu fmi2(fs::path(FMU_DIR) / (std::string(block.name) + ".fmu"), directory_ / ("fmi2_" + std::string(block.name)));
        EXPECT_EQ(fmi2.description().attributes.at("guid"), d.attributes.at("instantiationToken"));
        std::size_t i = 0;
        for (const auto& signal : block.inputs()) {
            EXPECT_EQ(signal.name, d.variables.at(i).attribute("name"));
            EXPECT_EQ("input", d.variables.at(i++).attribute("causality"));
        }
        for (const auto& signal : block.outputs()) {
            EXPECT_EQ(signal.name, d.variables.at(i).attribute("name"));
            EXPECT_EQ("output", d.variables.at(i++).attribute("causality"));
        }
        // Value references count from 1 in order; outputs are listed.
        std::vector<unsigned> outputs;
        for (std::size_t k = 0; k < d.variables.size(); ++k) {
            EXPECT_EQ(std::to_string(k + 1), d.variables[k].attribute("valueReference"));
            if (d.variables[k].attribute("causality") == "output") outputs.push_back(static_cast<unsigned>(k + 1));
            if (d.variables[k].attributes.count("unit")) {
                EXPECT_TRUE(d.units.count(d.variables[k].attribute("unit"))) << d.variables[k].attribute("name");
            }
        }
        EXPECT_EQ(outputs, d.outputs);
    }
    const auto& valve = open("Tolvane").description();
    const auto& angles = valve.variable("open_angles");
    EXPECT_TRUE(angles.array);
    EXPECT_EQ(3u, angles.elements);
    EXPECT_EQ("0 20 40", angles.attribute("start"));
    EXPECT_EQ("deg", angles.attribute("unit"));
    EXPECT_EQ("tunable", angles.attribute("variability"));
    EXPECT_EQ("Float64", valve.variable("crank_angle").type);
    EXPECT_FALSE(valve.variable("crank_angle").array);
    EXPECT_EQ((std::map<std::string, std::string>{{"rad", "1"}, {"factor", "0.017453292519943295"}}), valve.units.at("deg"));
    const auto& blower = open("blower").description();
    EXPECT_EQ("2 0.5 0.1", blower.variable("flow_coefficients").attribute("start"));
    EXPECT_EQ("Pa", blower.variable("inlet.p").attribute("unit"));
    EXPECT_EQ(100000.0, std::stod(blower.variable("inlet.p").attribute("start")));
    const auto& controller = open("Brisquel").description();
    EXPECT_EQ(2u, controller.variable("x").elements);
    EXPECT_EQ(controller.variable("x").attribute("valueReference"), controller.variable("der(x)").attribute("derivative"));
    EXPECT_EQ(std::vector<unsigned>{static_cast<unsigned>(std::stoul(controller.variable("der(x)").attribute("valueReference")))},
              controller.derivatives);
    EXPECT_EQ("Int32", open("quorvel").description().variable("y").type);
}

class Fmi3BothInterfaces : public Fmi3Fmus, public ::testing::WithParamInterface<Interface> {};

// As it comes, each FMU gives its block's worked example.
TEST_P(Fmi3BothInterfaces, AsItComesEachFmuGivesItsWorkedExample) {
    Instance blower(open("blower"), GetParam());
    ASSERT_EQ(fmi3OK, blower.initialize()) << blower.last_message();
    const auto& example = worked_examples::blower_gas;
    EXPECT_TEN_DIGITS(example.inlet_flow[0], blower.value("inlet_flow.mdot"));
    EXPECT_TEN_DIGITS(example.outlet_flow[1], blower.value("outlet_flow.H"));
    EXPECT_TEN_DIGITS(example.power, blower.value("power"));
    EXPECT_EQ(fmi3OK, blower.last_status()) << blower.last_message();

    Instance valve(open("Tolvane"), GetParam());
    ASSERT_EQ(fmi3OK, valve.initialize()) << valve.last_message();
    EXPECT_NEAR(0.3, valve.value("lift"), 1e-12);

    Instance controller(open("Brisquel"), GetParam());
    ASSERT_EQ(fmi3OK, controller.initialize()) << controller.last_message();
    EXPECT_EQ(0.5, controller.value("command"));
    EXPECT_EQ(1.07005329225731, controller.value("schedule_a"));

    for (const std::string block : {"sarnith", "quorvel"}) {
        Instance relay(open(block), GetParam());
        ASSERT_EQ(fmi3OK, relay.initialize()) << relay.last_message();
        relay.set("u", {4});
        EXPECT_EQ(block == "quorvel" ? 1.0 : 0.0, relay.value("y")) << block;
        EXPECT_EQ(fmi3OK, relay.last_status()) << relay.last_message();
    }
}

INSTANTIATE_TEST_SUITE_P(Fmi3, Fmi3BothInterfaces, ::testing::Values(Interface::co_simulation, Interface::model_exchange),
                         [](const auto& info) {
                             return info.param == Interface::co_simulation ? "CoSimulation" : "ModelExchange";
                         });

// An array parameter is set and read whole, between steps, and takes
// effect at the next call; a call with another number of values is refused.
TEST_F(Fmi3Fmus, AnArrayParameterIsSetWholeBetweenSteps) {
    Instance valve(open("Tolvane"), Interface::co_simulation);
    ASSERT_EQ(fmi3OK, valve.initialize());
    EXPECT_EQ((std::vector<double>{0, 0.3, 1}), valve.get("open_lifts"));
    ASSERT_EQ(fmi3OK, valve.step(0, 0.1)) << valve.last_message();
    EXPECT_EQ(fmi3OK, valve.set("open_lifts", {0, 0.5, 1})) << valve.last_message();
    EXPECT_EQ((std::vector<double>{0, 0.5, 1}), valve.get("open_lifts"));
    EXPECT_NEAR(0.5, valve.value("lift"), 1e-12);  // 10 degrees into the opening: a quarter of 2 peak lifts

    const auto& d = valve.fmi();
    const fmi3ValueReference vr = static_cast<fmi3ValueReference>(
        std::stoul(open("Tolvane", "_again").description().variable("open_lifts").attribute("valueReference")));
    const double two[] = {0, 1};
    EXPECT_EQ(fmi3Error, d.SetFloat64(valve.instance(), &vr, 1, two, 2));
    EXPECT_EQ("fmi3SetFloat64: the value references stand for 3 values, the call gives 2", valve.last_message());
    double many[4];
    EXPECT_EQ(fmi3Error, d.GetFloat64(valve.instance(), &vr, 1, many, 4));
    EXPECT_EQ("fmi3GetFloat64: the value references stand for 3 values, the call gives 4", valve.last_message());
    EXPECT_EQ(fmi3Error, d.GetFloat64(valve.instance(), &vr, 1, nullptr, 3));
    EXPECT_EQ("fmi3GetFloat64: the values is a null pointer", valve.last_message());
    const fmi3ValueReference unknown = 999;
    EXPECT_EQ(fmi3Error, d.GetFloat64(valve.instance(), &unknown, 1, many, 1));
    EXPECT_EQ("fmi3GetFloat64: there is no variable with value reference 999", valve.last_message());
    // Refused calls leave the instance as it was.
    EXPECT_EQ((std::vector<double>{0, 0.5, 1}), valve.get("open_lifts"));
    EXPECT_EQ(fmi3OK, valve.step(0.1, 0.1)) << valve.last_message();
}

// The FMI 3.0 FMU computes what the FMI 2.0 one does, bit for bit: Brisquel
// over 60 steps, states included.
TEST_F(Fmi3Fmus, TheSameNumbersAsTheFmi2Fmu) {
    importer::Fmu fmu2(fs::path(FMU_DIR) / "Brisquel.fmu", directory_ / "fmi2_Brisquel");
    importer::Instance two(fmu2, fmi2CoSimulation);
    Instance three(open("Brisquel"), Interface::co_simulation);
    ASSERT_EQ(fmi2OK, two.initialize());
    ASSERT_EQ(fmi3OK, three.initialize());
    const char* outputs[] = {"schedule_a", "fixed_1_2", "one_a", "schedule_b", "command", "one_b"};
    for (int k = 0; k < 60; ++k) {
        const double load = 1e7 + 2e5 * k, measured = 0.3 + 0.01 * k;
        two.set_real("load", load);
        two.set_real("measured", measured);
        three.set("load", {load});
        three.set("measured", {measured});
        ASSERT_EQ(fmi2OK, two.fmi().DoStep(two.component(), 0.05 * k, 0.05, fmi2True));
        ASSERT_EQ(fmi3OK, three.step(0.05 * k, 0.05)) << three.last_message();
        for (const char* output : outputs) ASSERT_EQ(two.real(output), three.value(output)) << output << " step " << k;
        ASSERT_EQ(two.real("x[1]"), three.get("x").at(0));
        ASSERT_EQ(two.real("x[2]"), three.get("x").at(1));
    }
    EXPECT_NE(0.0, three.get("x").at(0));
}

TEST_F(Fmi3Fmus, ModelExchangeGivesStatesAndDerivatives) {
    Instance controller(open("Brisquel"), Interface::model_exchange);
    const auto& f = controller.fmi();
    ASSERT_EQ(fmi3OK, f.EnterInitializationMode(controller.instance(), false, 0, 0, false, 0));
    size_t states = 0;
    EXPECT_EQ(fmi3OK, f.GetNumberOfContinuousStates(controller.instance(), &states));
    EXPECT_EQ(2u, states);
    double derivatives[2];
    EXPECT_EQ(fmi3OK, f.GetContinuousStateDerivatives(controller.instance(), derivatives, 2)) << controller.last_message();
    EXPECT_EQ(0.5208333333333334, derivatives[0]);
    EXPECT_EQ(0.9765625, derivatives[1]);
    EXPECT_EQ(fmi3Error, f.GetContinuousStateDerivatives(controller.instance(), derivatives, 3));
    EXPECT_EQ("fmi3GetContinuousStateDerivatives: the model has 2 continuous states, the call gives 3",
              controller.last_message());
    ASSERT_EQ(fmi3OK, f.ExitInitializationMode(controller.instance()));
    fmi3Boolean flags[5];
    double next = -1;
    EXPECT_EQ(fmi3OK, f.UpdateDiscreteStates(controller.instance(), &flags[0], &flags[1], &flags[2], &flags[3], &flags[4], &next));
    EXPECT_FALSE(flags[0] || flags[1] || flags[4]);
    EXPECT_EQ(fmi3OK, f.UpdateDiscreteStates(controller.instance(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(fmi3OK, f.EnterContinuousTimeMode(controller.instance()));
    const double x[] = {0.25, -0.5};
    EXPECT_EQ(fmi3OK, f.SetContinuousStates(controller.instance(), x, 2));
    double back[2];
    EXPECT_EQ(fmi3OK, f.GetContinuousStates(controller.instance(), back, 2));
    EXPECT_EQ(0.25, back[0]);
    EXPECT_EQ(-0.5, back[1]);
    fmi3Boolean event = true, stop = true;
    EXPECT_EQ(fmi3OK, f.CompletedIntegratorStep(controller.instance(), true, &event, &stop));
    EXPECT_FALSE(event || stop);
}

TEST_F(Fmi3Fmus, CallsOutOfOrderAndWhatIsNotOfferedAreRefusedWithAMessage) {
    Fmu& fmu = open("sarnith");
    Instance wrong(fmu, Interface::co_simulation, "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(nullptr, wrong.instance());
    EXPECT_EQ("fmi3InstantiateCoSimulation: the instantiation token {00000000-0000-0000-0000-000000000000} is not "
              "this binary's, " + fmu.description().attributes.at("instantiationToken") +
                  ": the modelDescription.xml belongs to another FMU",
              wrong.last_message());

    std::vector<std::string> log;
    const auto logger = [](fmi3InstanceEnvironment environment, fmi3Status, fmi3String, fmi3String message) {
        static_cast<std::vector<std::string>*>(environment)->push_back(message);
    };
    const std::string token = fmu.description().attributes.at("instantiationToken");
    EXPECT_EQ(nullptr, fmu.fmi().InstantiateCoSimulation("events", token.c_str(), nullptr, false, false, true, false,
                                                         nullptr, 0, &log, logger, nullptr));
    EXPECT_EQ("fmi3InstantiateCoSimulation: the FMU declares hasEventMode=\"false\": instantiate it with "
              "eventModeUsed false",
              log.back());

    Instance cs(fmu, Interface::co_simulation);
    ASSERT_NE(nullptr, cs.instance());
    EXPECT_EQ(fmi3Error, cs.step(0, 0.1));
    EXPECT_EQ("fmi3DoStep cannot be called when the instance is instantiated", cs.last_message());
    ASSERT_EQ(fmi3OK, cs.initialize());
    EXPECT_EQ(fmi3Error, cs.step(1, 0.1));
    EXPECT_EQ("fmi3DoStep: the communication point 1 is not where the last step ended, 0", cs.last_message());
    EXPECT_EQ(fmi3Error, cs.fmi().EnterContinuousTimeMode(cs.instance()));
    EXPECT_EQ("fmi3EnterContinuousTimeMode cannot be called when the instance is in step mode", cs.last_message());
    fmi3FMUState state = nullptr;
    EXPECT_EQ(fmi3Error, cs.fmi().GetFMUState(cs.instance(), &state));
    EXPECT_EQ("fmi3GetFMUState is not supported: the FMU declares canGetAndSetFMUState=\"false\"", cs.last_message());
    EXPECT_EQ(fmi3Error, cs.fmi().EnterConfigurationMode(cs.instance()));
    EXPECT_EQ("fmi3EnterConfigurationMode is not supported: the FMU has no structural parameters", cs.last_message());
    const fmi3ValueReference output = 2;
    fmi3Boolean flag = false;
    EXPECT_EQ(fmi3Error, cs.fmi().GetBoolean(cs.instance(), &output, 1, &flag, 1));
    EXPECT_EQ("fmi3GetBoolean: this FMU has no Boolean variables", cs.last_message());
    EXPECT_EQ(fmi3Error, cs.set("y", {1}));
    EXPECT_EQ("fmi3SetFloat64: 'y' is computed by the block and cannot be set", cs.last_message());
    // Refused calls leave the instance usable; a tunable threshold changes.
    EXPECT_EQ(fmi3OK, cs.set("upper_threshold", {10})) << cs.last_message();
    EXPECT_EQ(fmi3OK, cs.step(0, 0.1)) << cs.last_message();
    EXPECT_EQ(fmi3OK, cs.fmi().Terminate(cs.instance()));
    EXPECT_EQ(fmi3OK, cs.fmi().Reset(cs.instance()));
    EXPECT_EQ(fmi3OK, cs.initialize());
    EXPECT_EQ(std::vector<double>{3}, cs.get("upper_threshold"));
}

}  // namespace

// Model descriptions as blocksim reads them, of FMI 2.0 and 3.0, and the
// ones it refuses with their messages.
#include <gtest/gtest.h>

#include "host/fmu/archive.hpp"
#include "host/fmu/description.hpp"

namespace {

using host::FmuDescription;

const char* const fmi2_bouncing = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<fmiModelDescription fmiVersion="2.0" modelName="Ball" guid="{1234}" numberOfEventIndicators="1"
                     generationTool="hand">
  <ModelExchange modelIdentifier="ball" completedIntegratorStepNotNeeded="true"/>
  <CoSimulation modelIdentifier="ball" canHandleVariableCommunicationStepSize="true"/>
  <UnitDefinitions><Unit name="m"/></UnitDefinitions>
  <TypeDefinitions><SimpleType name="Height"><Real unit="m"/></SimpleType></TypeDefinitions>
  <DefaultExperiment stopTime="3" stepSize="0.01"/>
  <ModelVariables>
    <ScalarVariable name="h" valueReference="0" causality="output" variability="continuous" initial="exact"
                    description="height">
      <Real declaredType="Height" start="1"/>
    </ScalarVariable>
    <ScalarVariable name="der(h)" valueReference="1"><Real derivative="1"/></ScalarVariable>
    <ScalarVariable name="v" valueReference="2" causality="output" initial="exact"><Real unit="m/s" start="0"/></ScalarVariable>
    <ScalarVariable name="der(v)" valueReference="3"><Real derivative="3"/></ScalarVariable>
    <ScalarVariable name="e" valueReference="4" causality="parameter" variability="tunable"><Real start="0.7"/></ScalarVariable>
    <ScalarVariable name="count" valueReference="5" causality="input"><Integer start="2"/></ScalarVariable>
  </ModelVariables>
  <ModelStructure>
    <Outputs><Unknown index="1"/><Unknown index="3"/></Outputs>
    <Derivatives><Unknown index="2"/><Unknown index="4"/></Derivatives>
  </ModelStructure>
</fmiModelDescription>
)xml";

const char* const fmi3_arrays = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<fmiModelDescription fmiVersion="3.0" modelName="Arrays" instantiationToken="{abcd}">
  <CoSimulation modelIdentifier="arrays"/>
  <ModelVariables>
    <UInt64 name="n" valueReference="10" causality="structuralParameter" variability="fixed" start="3"/>
    <Float64 name="u" valueReference="1" causality="input" start="1 2 3"><Dimension valueReference="10"/></Float64>
    <Float64 name="y" valueReference="2" causality="output" unit="K"><Dimension start="2"/><Dimension start="3"/></Float64>
    <Int32 name="k" valueReference="3" causality="output"/>
    <Float64 name="x" valueReference="4" causality="local" start="0"/>
    <Float64 name="der(x)" valueReference="5" derivative="4"/>
    <Float64 name="z" valueReference="6"><Dimension start="2"/></Float64>
  </ModelVariables>
  <ModelStructure>
    <Output valueReference="2"/>
    <Output valueReference="3"/>
    <ContinuousStateDerivative valueReference="5"/>
    <EventIndicator valueReference="6"/>
  </ModelStructure>
</fmiModelDescription>
)xml";

std::string refusal(const std::string& xml) {
    try {
        host::parse_description(xml, "m.fmu");
    } catch (const host::FmuError& e) {
        return e.what();
    }
    return "";
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(Description, Fmi2VariablesInterfacesAndStructure) {
    const FmuDescription d = host::parse_description(fmi2_bouncing, "ball.fmu");
    EXPECT_EQ(host::FmiVersion::fmi2, d.version);
    EXPECT_EQ("Ball", d.model_name);
    EXPECT_EQ("{1234}", d.token);
    ASSERT_TRUE(d.model_exchange && d.co_simulation);
    EXPECT_EQ("ball", d.model_exchange->model_identifier);
    EXPECT_FALSE(d.model_exchange->needs_completed_integrator_step);
    EXPECT_TRUE(d.co_simulation->can_handle_variable_step);
    EXPECT_EQ(0.01, d.default_step);
    EXPECT_FALSE(host::parse_description(replaced(fmi2_bouncing, "stepSize=\"0.01\"", "stepSize=\"inf\""), "b")
                     .default_step);
    ASSERT_EQ(6u, d.variables.size());
    const auto& h = d.variables[0];
    EXPECT_EQ("m", h.unit);  // from its declared type
    EXPECT_EQ("1", h.start.value_or("none"));
    EXPECT_EQ("height", h.description);
    EXPECT_EQ("m/s", d.variables[2].unit);
    EXPECT_EQ("local", d.variables[1].causality);
    EXPECT_EQ("continuous", d.variables[1].variability);
    EXPECT_EQ("Integer", d.variables[5].type);
    EXPECT_EQ((std::vector<std::size_t>{0, 2}), d.outputs);
    EXPECT_EQ((std::vector<std::size_t>{1, 3}), d.derivatives);
    EXPECT_EQ((std::vector<std::size_t>{0, 2}), d.states());
    EXPECT_EQ((std::vector<std::size_t>{5}), d.inputs());
    EXPECT_EQ(1u, d.event_indicators);
    EXPECT_EQ(&d.variables[4], d.variable("e"));
    EXPECT_EQ(nullptr, d.variable("E"));
}

TEST(Description, Fmi3ArraysByStartAndByStructuralParameter) {
    const FmuDescription d = host::parse_description(fmi3_arrays, "arrays.fmu");
    EXPECT_EQ(host::FmiVersion::fmi3, d.version);
    EXPECT_EQ("{abcd}", d.token);
    EXPECT_FALSE(d.model_exchange);
    EXPECT_EQ((std::vector<std::uint64_t>{3}), d.variable("u")->dimensions);
    EXPECT_EQ(6u, d.variable("y")->width());
    EXPECT_EQ(1u, d.variable("k")->width());
    EXPECT_EQ("discrete", d.variable("k")->variability);  // 3.0's default for integers
    EXPECT_EQ("continuous", d.variable("x")->variability);
    EXPECT_EQ((std::vector<std::size_t>{2, 3}), d.outputs);
    EXPECT_EQ((std::vector<std::size_t>{4}), d.states());
    EXPECT_EQ(2u, d.event_indicators);  // z's two elements
}

TEST(Description, EntitiesAndDocumentTypesAreNeverExpanded) {
    const std::string laughs = R"xml(<?xml version="1.0"?>
<!DOCTYPE fmiModelDescription [
  <!ENTITY lol "lol">
  <!ENTITY lol2 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">
  <!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">
]>
<fmiModelDescription fmiVersion="2.0" modelName="&lol3;" guid="x"><CoSimulation modelIdentifier="m"/></fmiModelDescription>
)xml";
    EXPECT_EQ("m.fmu: modelDescription.xml: declares a document type (<!DOCTYPE>), which no model description "
              "needs; refused",
              refusal(laughs));
    const std::string external = R"(<!DOCTYPE d SYSTEM "file:///etc/passwd"><fmiModelDescription/>)";
    EXPECT_EQ("m.fmu: modelDescription.xml: declares a document type (<!DOCTYPE>), which no model description "
              "needs; refused",
              refusal(external));
    // Without a document type, an undeclared entity stays as written.
    const auto d = host::parse_description(replaced(fmi2_bouncing, "modelName=\"Ball\"", "modelName=\"&lol3;\""), "m");
    EXPECT_EQ("&lol3;", d.model_name);
}

TEST(Description, BrokenOnesAreRefusedWithTheirMessage) {
    const std::string prefix = "m.fmu: modelDescription.xml: ";
    EXPECT_EQ(prefix + "fmiVersion \"1.0\": blocksim imports FMI 2.0 and 3.0 FMUs",
              refusal(replaced(fmi2_bouncing, "fmiVersion=\"2.0\"", "fmiVersion=\"1.0\"")));
    EXPECT_EQ(prefix + "<fmiModelDescription> has no guid", refusal(replaced(fmi2_bouncing, "guid=", "gid=")));
    EXPECT_EQ(prefix + "<fmiModelDescription> has no instantiationToken",
              refusal(replaced(fmi3_arrays, "instantiationToken=", "guid=")));
    EXPECT_EQ(prefix + "two variables are named h",
              refusal(replaced(fmi2_bouncing, "name=\"v\"", "name=\"h\"")));
    EXPECT_EQ(prefix + "valueReference (variable e) \"-4\" is not a whole number from 0 to 4294967295",
              refusal(replaced(fmi2_bouncing, "valueReference=\"4\"", "valueReference=\"-4\"")));
    EXPECT_EQ(prefix + "valueReference (variable e) \"4294967296\" is not a whole number from 0 to 4294967295",
              refusal(replaced(fmi2_bouncing, "valueReference=\"4\"", "valueReference=\"4294967296\"")));
    EXPECT_EQ(prefix + "the derivative of der(v) \"7\" is not a whole number from 0 to 6",
              refusal(replaced(fmi2_bouncing, "derivative=\"3\"", "derivative=\"7\"")));
    EXPECT_EQ(prefix + "<Unknown> index \"9\" is not a whole number from 0 to 6",
              refusal(replaced(fmi2_bouncing, "<Unknown index=\"3\"/>", "<Unknown index=\"9\"/>")));
    EXPECT_EQ(prefix + "h is listed as a derivative but names no state",
              refusal(replaced(fmi2_bouncing, "<Unknown index=\"2\"/>", "<Unknown index=\"1\"/>")));
    EXPECT_EQ(prefix + "offers neither model exchange nor co-simulation",
              refusal(replaced(fmi3_arrays, "<CoSimulation modelIdentifier=\"arrays\"/>", "")));
    EXPECT_EQ(prefix + "two variables have valueReference 1",
              refusal(replaced(fmi3_arrays, "valueReference=\"2\"", "valueReference=\"1\"")));
    EXPECT_EQ(prefix + "the extent of u refers to valueReference 11, which comes before it with no start value",
              refusal(replaced(fmi3_arrays, "<Dimension valueReference=\"10\"/>", "<Dimension valueReference=\"11\"/>")));
    EXPECT_EQ(prefix + "the extent of y \"99999999999\" is not a whole number from 0 to 10000000",
              refusal(replaced(fmi3_arrays, "<Dimension start=\"2\"/><Dimension", "<Dimension start=\"99999999999\"/><Dimension")));
    EXPECT_EQ(prefix + "y has more than 10000000 elements",
              refusal(replaced(fmi3_arrays, "<Dimension start=\"2\"/><Dimension start=\"3\"/>",
                               "<Dimension start=\"10000\"/><Dimension start=\"10000\"/>")));
    EXPECT_EQ(prefix + "the derivative of der(x) 44 is no variable's valueReference",
              refusal(replaced(fmi3_arrays, "derivative=\"4\"", "derivative=\"44\"")));
    EXPECT_EQ(prefix + "<ModelVariables> holds a <Float128>",
              refusal(replaced(fmi3_arrays, "<Float64 name=\"x\"", "<Float128 name=\"x\"")));
    EXPECT_EQ(prefix + "has no <fmiModelDescription>", refusal("<fmuModelDescription/>"));
    // The identifier names the binary's file: no path may hide in it.
    EXPECT_EQ(prefix + "modelIdentifier \"../../../usr/lib/x\" is not a C name, as the standard asks; refused",
              refusal(replaced(fmi2_bouncing, "<CoSimulation modelIdentifier=\"ball\"",
                               "<CoSimulation modelIdentifier=\"../../../usr/lib/x\"")));
    EXPECT_EQ(prefix + "modelIdentifier \"/abs\" is not a C name, as the standard asks; refused",
              refusal(replaced(fmi3_arrays, "modelIdentifier=\"arrays\"", "modelIdentifier=\"/abs\"")));
    const std::string cut = std::string(fmi2_bouncing).substr(0, 400);
    EXPECT_EQ(0u, refusal(cut).find(prefix)) << refusal(cut);
    EXPECT_NE("", refusal(cut));
}

}  // namespace

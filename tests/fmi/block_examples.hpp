// Each block's FMU as it comes, nothing set: its inputs start at the
// block's worked example, and so its outputs are the example's. Shared by
// the tests of the built FMUs and of FMUs built from their own sources.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../worked_examples.hpp"
#include "fmu_importer.hpp"

// `fmu` is initialized; `block` names it. Only inputs are set (relays:
// their input, after the example's value was checked).
inline void expect_worked_example(importer::Instance& fmu, const std::string& block) {
    SCOPED_TRACE(block);
    if (block == "blower") {
        const auto& example = worked_examples::blower_gas;
        EXPECT_EQ(100000.0, fmu.real("inlet.p"));
        EXPECT_EQ(350.0, fmu.real("inlet.T"));
        EXPECT_EQ(150000.0, fmu.real("outlet.p"));
        EXPECT_TEN_DIGITS(example.inlet_flow[0], fmu.real("inlet_flow.mdot"));
        EXPECT_TEN_DIGITS(example.inlet_flow[1], fmu.real("inlet_flow.H"));
        EXPECT_TEN_DIGITS(example.inlet_flow[2], fmu.real("inlet_flow.fuel"));
        EXPECT_TEN_DIGITS(example.outlet_flow[1], fmu.real("outlet_flow.H"));
        EXPECT_TEN_DIGITS(example.power, fmu.real("power"));
    } else if (block == "Tolvane") {
        EXPECT_NEAR(0.3, fmu.real("lift"), 1e-12);  // 90 degrees, start 80
    } else if (block == "Brisquel") {
        EXPECT_EQ(0.5, fmu.real("command"));
        EXPECT_EQ(1.07005329225731, fmu.real("schedule_a"));
        EXPECT_EQ(-2.59972335254129, fmu.real("schedule_b"));
    } else if (block == "sarnith" || block == "quorvel") {
        const bool integer = block == "quorvel";
        const auto output = [&] { return integer ? fmu.integer("y") : fmu.real("y"); };
        EXPECT_EQ(0.0, output());  // 2: inside the band, nothing held yet
        fmu.set_real("u", 4);
        EXPECT_EQ(integer ? 1.0 : 0.0, output());
        fmu.set_real("u", 0.5);
        EXPECT_EQ(integer ? 0.0 : 1.0, output());
    } else {
        ADD_FAILURE() << "no worked example for block " << block;
    }
    EXPECT_EQ(fmi2OK, fmu.last_status()) << fmu.last_message();
}

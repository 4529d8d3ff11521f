// blocksim run as a user runs it, in a folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// A word for the shell, whatever spaces or quotes it holds.
std::string shell_word(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Result {
    int status;
    std::string output;  // stdout and stderr together
};

class Blocksim : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("blocksim_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(directory_);
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    // blocksim ARGUMENTS in the test's folder, with ENVIRONMENT ("NAME=value")
    // set; the output is stdout and stderr together, or stdout alone.
    Result blocksim(const std::string& arguments, const std::string& environment = "",
                    bool with_stderr = true) const {
        const std::string command = "cd " + shell_word(directory_.string()) + " && " + environment + " " +
                                    shell_word(BLOCKSIM) + " " + arguments + (with_stderr ? " 2>&1" : " 2>/dev/null");
        FILE* pipe = popen(command.c_str(), "r");
        std::string output;
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        const int status = pclose(pipe);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    }

    fs::path write(const std::string& name, const std::string& text) const {
        std::ofstream(directory_ / name) << text;
        return directory_ / name;
    }

    // The CSV's header and rows.
    std::pair<std::vector<std::string>, std::vector<std::vector<double>>> csv(const std::string& name) const {
        std::ifstream in(directory_ / name);
        std::string line, cell;
        std::getline(in, line);
        std::vector<std::string> header;
        std::stringstream names(line);
        while (std::getline(names, cell, ',')) header.push_back(cell);
        std::vector<std::vector<double>> rows;
        while (std::getline(in, line)) {
            std::vector<double> row;
            std::stringstream cells(line);
            while (std::getline(cells, cell, ',')) row.push_back(std::stod(cell));
            rows.push_back(row);
        }
        return {header, rows};
    }

    // An example model's path, as a word for the command line.
    std::string example(const std::string& name) const { return shell_word(std::string(EXAMPLES_DIR) + "/" + name); }

    fs::path directory_;
};

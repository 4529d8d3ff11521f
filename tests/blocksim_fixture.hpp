// blocksim run as a user runs it, in a folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "commands/text.hpp"

namespace fs = std::filesystem;

using blocksim::shell_word;

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
    void TearDown() override {
        if (!small_disk_.empty()) std::system(("umount " + shell_word(small_disk_.string())).c_str());
        fs::remove_all(directory_);
    }

    // A file system of `kilobytes` at `name` in the test's folder, to fill;
    // false where this user cannot mount one (the test then skips).
    bool mount_small_disk(const std::string& name, int kilobytes) {
        const fs::path folder = directory_ / name;
        fs::create_directories(folder);
        if (geteuid() != 0) return false;
        const std::string command = "mount -t tmpfs -o size=" + std::to_string(kilobytes) + "k tmpfs " +
                                    shell_word(folder.string()) + " 2>/dev/null";
        if (std::system(command.c_str()) != 0) return false;
        small_disk_ = folder;
        return true;
    }

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
        fs::create_directories((directory_ / name).parent_path());
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
            // strtod, not stod, which refuses subnormal numbers.
            while (std::getline(cells, cell, ',')) row.push_back(std::strtod(cell.c_str(), nullptr));
            rows.push_back(row);
        }
        return {header, rows};
    }

    std::string read(const std::string& name) const {
        std::ifstream in(directory_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The temporary files that outputs are written to before they take their
    // names (".NAME.XXXXXX"), in the test's folder and below; a sweep's lock
    // files (".summary.csv.lock") stay by design.
    std::vector<std::string> temporary_files() const {
        std::vector<std::string> found;
        for (const auto& item : fs::recursive_directory_iterator(directory_)) {
            const std::string name = item.path().filename().string();
            if (name.rfind(".", 0) == 0 && item.path().extension() != ".lock") found.push_back(item.path().string());
        }
        return found;
    }

    // The bytes written so far to the output that will be `name`: its
    // temporary file while the run goes on.
    std::uintmax_t written_so_far(const fs::path& name) const {
        std::uintmax_t size = 0;
        std::error_code error;
        const std::string prefix = "." + name.filename().string() + ".";
        for (fs::directory_iterator it(directory_ / name.parent_path(), error), end; !error && it != end; it.increment(error))
            if (it->path().filename().string().rfind(prefix, 0) == 0) size = std::max(size, it->file_size(error));
        return size;
    }

    // blocksim ARGUMENTS (with any redirections) started in the background
    // in the test's folder; returns its process id.
    long start_in_background(const std::string& arguments) const {
        const std::string command =
            "cd " + shell_word(directory_.string()) + " && exec " + shell_word(BLOCKSIM) + " " + arguments;
        FILE* shell = popen(("(" + command + ") & echo $!").c_str(), "r");
        long pid = 0;
        if (std::fscanf(shell, "%ld", &pid) != 1) pid = 0;
        pclose(shell);
        return pid;
    }

    // blocksim ARGUMENTS as a child of the test, in its folder and in a
    // process group of its own (as a shell's job), its output into the file
    // `log`, with the folder `path_first` first on PATH when given. finished()
    // waits for it (30 s at most) and gives its exit status: 128 + N after
    // signal N, as a shell shows it.
    pid_t spawn(const std::vector<std::string>& arguments, const std::string& log, const std::string& path_first = "") const {
        std::vector<std::string> words{BLOCKSIM};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        std::vector<std::string> variables;
        for (char** v = environ; *v; ++v)
            if (std::string(*v).rfind("PATH=", 0) != 0) variables.emplace_back(*v);
        const char* path = std::getenv("PATH");
        variables.push_back("PATH=" + (path_first.empty() ? "" : path_first + ":") + (path ? path : "/usr/bin:/bin"));
        std::vector<char*> envp;
        for (auto& v : variables) envp.push_back(v.data());
        envp.push_back(nullptr);
        const std::string out = (directory_ / log).string(), folder = directory_.string();
        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || chdir(folder.c_str()) != 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0) _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        return pid;
    }
    static int finished(pid_t pid) {
        int status = 0;
        for (int wait = 0; wait < 1500; ++wait) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            usleep(20000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    // Whether process `pid` still runs (a zombie has ended).
    static bool still_running(long pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const auto state = text.rfind(')');
        return state != std::string::npos && state + 2 < text.size() && text[state + 2] != 'Z';
    }
    // A gnuplot, first on PATH through the folder "slow_gnuplot", that notes
    // its process id in gnuplot.pid and then draws nothing for a minute: a
    // plot that takes long, to interrupt.
    std::string slow_gnuplot() const {
        write("slow_gnuplot/gnuplot", "#!/bin/sh\necho $$ > " + shell_word((directory_ / "gnuplot.pid").string()) +
                                          "\nexec sleep 60\n");
        fs::permissions(directory_ / "slow_gnuplot/gnuplot", fs::perms::owner_all);
        return (directory_ / "slow_gnuplot").string();
    }
    // The process id in `name` once it is written (after about 10 s, 0).
    long pid_in(const std::string& name) const {
        for (int wait = 0; wait < 500; ++wait) {
            std::ifstream in(directory_ / name);
            long pid = 0;
            if (in >> pid) return pid;
            usleep(20000);
        }
        return 0;
    }

    // The log `name` once it holds `text` (or after about 5 s).
    std::string wait_for_log(const std::string& name, const std::string& text) const {
        std::string log;
        for (int wait = 0; wait < 250; ++wait) {
            log = read(name);
            if (log.find(text) != std::string::npos) break;
            usleep(20000);
        }
        return log;
    }

    // An example model's path, as a word for the command line.
    std::string example(const std::string& name) const { return shell_word(std::string(EXAMPLES_DIR) + "/" + name); }

    fs::path directory_;
    fs::path small_disk_;
};

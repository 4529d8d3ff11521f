#include "sweeps/sweep_workers.hpp"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <string>

#include "host/common/errors.hpp"
#include "host/common/scratch_folders.hpp"
#include "sweeps/sweep_wire.hpp"

namespace blocksim {

namespace {

// The parent looks at `stop` at least this often (ms).
constexpr int poll_interval_ms = 100;

bool write_all(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool read_all(int fd, void* data, std::size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// A worker told to end (or whose parent died) removes the folders its FMU
// blocks unpacked into, then ends as SIGTERM's default action would.
extern "C" void end_worker_now(int signal) {
    host::remove_scratch_folders_now();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

[[noreturn]] void serve(int commands, int results, const CaseJob& job) {
    // Ctrl-C reaches the whole process group; the parent alone decides.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    host::forget_all_scratch_folders();  // the parent's, not this worker's
    std::signal(SIGTERM, end_worker_now);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    std::uint64_t case_number = 0;
    while (read_all(commands, &case_number, sizeof case_number)) {
        const std::string message = encode_result(case_number, job(static_cast<std::size_t>(case_number)));
        if (!write_all(results, message.data(), message.size())) break;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // _exit: the parent's buffered files must not be flushed a second time.
    ::_exit(0);
}

struct Worker {
    pid_t pid = -1;
    int commands = -1, results = -1;
    std::optional<std::size_t> running;
    std::string buffer;
};

Worker start_worker(const CaseJob& job, std::vector<Worker>& others) {
    int down[2], up[2];
    if (::pipe(down) != 0 || ::pipe(up) != 0) throw host::HostError(std::string("cannot start a worker: ") + std::strerror(errno));
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw host::HostError(std::string("cannot start a worker: ") + std::strerror(errno));
    if (pid == 0) {
        for (const Worker& other : others) {
            if (other.commands >= 0) ::close(other.commands);
            if (other.results >= 0) ::close(other.results);
        }
        ::close(down[1]);
        ::close(up[0]);
        serve(down[0], up[1], job);
    }
    ::close(down[0]);
    ::close(up[1]);
    Worker worker;
    worker.pid = pid;
    worker.commands = down[1];
    worker.results = up[0];
    return worker;
}

std::string how_it_ended(int status) {
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        return "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    }
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    return "ended";
}

void end_worker(Worker& worker, bool kill) {
    if (worker.commands >= 0) ::close(worker.commands);
    if (worker.results >= 0) ::close(worker.results);
    worker.commands = worker.results = -1;
    if (worker.pid > 0) {
        if (kill) ::kill(worker.pid, SIGTERM);
        int status = 0;
        while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    worker.pid = -1;
}

// Parent-side: a worker whose pipe closed cannot take commands any more.
struct IgnoreBrokenPipes {
    IgnoreBrokenPipes() : previous(std::signal(SIGPIPE, SIG_IGN)) {}
    ~IgnoreBrokenPipes() { std::signal(SIGPIPE, previous); }
    void (*previous)(int);
};

}  // namespace

bool run_on_workers(int workers, const std::vector<std::size_t>& cases, const CaseJob& job, const CaseDone& done,
                    const std::atomic<bool>* stop) {
    const IgnoreBrokenPipes ignore;
    std::deque<std::size_t> waiting(cases.begin(), cases.end());
    std::vector<Worker> pool;
    auto end_all = [&](bool kill) {
        for (Worker& worker : pool) end_worker(worker, kill);
    };
    auto dispatch = [&](Worker& worker) {
        if (waiting.empty()) {
            end_worker(worker, false);
            return;
        }
        const std::uint64_t next = waiting.front();
        waiting.pop_front();
        worker.running = static_cast<std::size_t>(next);
        // A worker that cannot take it has died: its closed pipe reports the case.
        write_all(worker.commands, &next, sizeof next);
    };
    try {
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), cases.size());
        for (std::size_t i = 0; i < count; ++i) pool.push_back(start_worker(job, pool));
        for (Worker& worker : pool) dispatch(worker);
        for (;;) {
            if (stop && stop->load()) {
                end_all(true);
                return false;
            }
            std::vector<pollfd> watched;
            std::vector<Worker*> owners;
            for (Worker& worker : pool)
                if (worker.results >= 0) {
                    watched.push_back({worker.results, POLLIN, 0});
                    owners.push_back(&worker);
                }
            if (watched.empty()) return true;
            if (::poll(watched.data(), watched.size(), poll_interval_ms) < 0 && errno != EINTR)
                throw host::HostError(std::string("waiting for the workers: ") + std::strerror(errno));
            for (std::size_t i = 0; i < watched.size(); ++i) {
                if (!(watched[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                Worker& worker = *owners[i];
                char chunk[65536];
                const ssize_t got = ::read(worker.results, chunk, sizeof chunk);
                if (got < 0 && errno == EINTR) continue;
                if (got > 0) {
                    worker.buffer.append(chunk, static_cast<std::size_t>(got));
                    while (auto message = decode_result(worker.buffer)) {
                        worker.running.reset();
                        done(message->first, std::move(message->second));
                        dispatch(worker);
                    }
                    continue;
                }
                // The worker is gone: with a case, that case took it down.
                const auto lost = worker.running;
                const pid_t pid = worker.pid;
                int status = 0;
                ::close(worker.commands);
                ::close(worker.results);
                worker.commands = worker.results = -1;
                worker.pid = -1;
                while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                }
                if (!lost) continue;
                done(*lost, CaseResult{{}, "the worker running this case " + how_it_ended(status)});
                worker = start_worker(job, pool);
                dispatch(worker);
            }
        }
    } catch (...) {
        end_all(true);
        throw;
    }
}

}  // namespace blocksim

// Windows has no fork: the cases run in this process, one at a time, in
// the order given. A case that crashes ends the sweep, as a crash of any
// program does; the rows written so far stay whole.
#include "sweeps/sweep_workers.hpp"

namespace blocksim {

bool run_on_workers(int, const std::vector<std::size_t>& cases, const CaseJob& job, const CaseDone& done,
                    const std::atomic<bool>* stop) {
    for (const std::size_t case_number : cases) {
        if (stop && *stop) return false;
        done(case_number, job(case_number));
    }
    return !(stop && *stop);
}

}  // namespace blocksim

#include "host/sim/variable_step.hpp"

#include <arkode/arkode_erkstep.h>
#include <cvode/cvode.h>
#include <cvode/cvode_ls.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunmatrix/sunmatrix_dense.h>

#include <algorithm>
#include <cstdio>

namespace host {

namespace {

std::string time_text(double time) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.12g", time);
    return buffer;
}

}  // namespace

IntegratorError::IntegratorError(double time, const std::string& message)
    : HostError("the integrator stopped at t = " + time_text(time) + " s: " + message),
      time_(time) {}

struct VariableStepIntegrator::State {
    SolverSpec solver;
    bool bdf = false;
    Derivatives derivatives;
    Indicators indicators;
    std::vector<int> roots;  // of the last step, one per indicator
    bool found_roots = false;
    SUNContext context = nullptr;
    void* memory = nullptr;
    N_Vector y = nullptr;
    SUNMatrix jacobian = nullptr;
    SUNLinearSolver linear_solver = nullptr;
    long steps_before_restart = 0, rhs_before_restart = 0;
    double time = 0.0;
    std::string failure;           // from the model's derivatives
    std::string integrator_error;  // SUNDIALS' own last message

    static int rhs(realtype t, N_Vector x, N_Vector dx, void* user) {
        auto& self = *static_cast<State*>(user);
        return self.derivatives(t, N_VGetArrayPointer(x), N_VGetArrayPointer(dx), self.failure) ? 0 : -1;
    }
    static int indicator_function(realtype t, N_Vector x, realtype* z, void* user) {
        auto& self = *static_cast<State*>(user);
        self.indicators(t, N_VGetArrayPointer(x), z);
        return 0;
    }
    static void on_error(int, const char*, const char*, char* message, void* user) {
        static_cast<State*>(user)->integrator_error = message;
    }
    long counted_steps() const {
        long n = 0;
        if (memory) bdf ? CVodeGetNumSteps(memory, &n) : ERKStepGetNumSteps(memory, &n);
        return n;
    }
    long counted_rhs() const {
        if (!memory) return 0;
        long n = 0;
        if (bdf) {
            long jacobian_rhs = 0;
            CVodeGetNumRhsEvals(memory, &n);
            CVodeGetNumLinRhsEvals(memory, &jacobian_rhs);
            return n + jacobian_rhs;
        }
        ERKStepGetNumRhsEvals(memory, &n);
        return n;
    }
    void check(int flag, const char* what) const {
        if (flag < 0) throw HostError(std::string("SUNDIALS refused ") + what + ": " + integrator_error);
    }
    void create(double t);
    [[noreturn]] void fail(int flag) const;
};

void VariableStepIntegrator::State::create(double t) {
    if (bdf) {
        memory = CVodeCreate(CV_BDF, context);
        check(CVodeInit(memory, rhs, t, y), "CVodeInit");
        check(CVodeSetUserData(memory, this), "its user data");
        check(CVodeSetErrHandlerFn(memory, on_error, this), "its error handler");
        check(CVodeSStolerances(memory, solver.rtol, solver.atol), "the tolerances");
        jacobian = SUNDenseMatrix(NV_LENGTH_S(y), NV_LENGTH_S(y), context);
        linear_solver = SUNLinSol_Dense(y, jacobian, context);
        check(CVodeSetLinearSolver(memory, linear_solver, jacobian), "the dense linear solver");
        check(CVodeSetMaxStep(memory, solver.max_step_or_default()), "max_step");
        if (solver.initial_step) check(CVodeSetInitStep(memory, *solver.initial_step), "initial_step");
        if (!roots.empty())
            check(CVodeRootInit(memory, static_cast<int>(roots.size()), indicator_function), "the event indicators");
        return;
    }
    memory = ERKStepCreate(rhs, t, y, context);
    check(ERKStepSetUserData(memory, this), "its user data");
    check(ERKStepSetErrHandlerFn(memory, on_error, this), "its error handler");
    check(ERKStepSetTableNum(memory, solver.method == SolverMethod::ode45 ? ARKODE_DORMAND_PRINCE_7_4_5
                                                                          : ARKODE_BOGACKI_SHAMPINE_4_2_3),
          "the Butcher table");
    check(ERKStepSStolerances(memory, solver.rtol, solver.atol), "the tolerances");
    check(ERKStepSetMaxStep(memory, solver.max_step_or_default()), "max_step");
    if (solver.initial_step) check(ERKStepSetInitStep(memory, *solver.initial_step), "initial_step");
    if (!roots.empty())
        check(ERKStepRootInit(memory, static_cast<int>(roots.size()), indicator_function), "the event indicators");
}

void VariableStepIntegrator::State::fail(int flag) const {
    std::string message;
    switch (flag) {
        case ARK_TOO_MUCH_WORK:  // CV_TOO_MUCH_WORK has the same value
            message = "too much work: the step would have to be smaller than the integrator can take";
            break;
        case ARK_ERR_FAILURE:  // CV_ERR_FAILURE
            message = "the step size became too small: the error test failed again and again (a discontinuity, "
                      "or tolerances tighter than the model allows)";
            break;
        case CV_CONV_FAILURE:
            message = "the Newton iteration of the BDF method did not converge, even with the smallest step";
            break;
        case ARK_RHSFUNC_FAIL:
        case ARK_FIRST_RHSFUNC_ERR:
        case ARK_REPTD_RHSFUNC_ERR:
        case ARK_UNREC_RHSFUNC_ERR:
            message = failure.empty() ? "the model's derivatives could not be evaluated" : failure;
            break;
        default:
            message = "SUNDIALS error " + std::to_string(flag) + (integrator_error.empty() ? "" : ": " + integrator_error);
    }
    throw IntegratorError(time, message);
}

VariableStepIntegrator::VariableStepIntegrator(const SolverSpec& solver, std::size_t states, Derivatives derivatives,
                                               std::size_t indicators, Indicators indicator_function)
    : state_(std::make_unique<State>()) {
    state_->solver = solver;
    state_->bdf = solver.method == SolverMethod::bdf;
    state_->derivatives = std::move(derivatives);
    state_->indicators = std::move(indicator_function);
    state_->roots.assign(indicators, 0);
    if (SUNContext_Create(nullptr, &state_->context) != 0) throw HostError("SUNDIALS could not start");
    state_->y = N_VNew_Serial(static_cast<sunindextype>(states), state_->context);
}

VariableStepIntegrator::~VariableStepIntegrator() {
    State& s = *state_;
    if (s.bdf) CVodeFree(&s.memory);
    else ERKStepFree(&s.memory);
    if (s.linear_solver) SUNLinSolFree(s.linear_solver);
    if (s.jacobian) SUNMatDestroy(s.jacobian);
    if (s.y) N_VDestroy(s.y);
    if (s.context) SUNContext_Free(&s.context);
}

void VariableStepIntegrator::start(double t, const double* x) {
    State& s = *state_;
    std::copy(x, x + NV_LENGTH_S(s.y), N_VGetArrayPointer(s.y));
    s.time = t;
    s.found_roots = false;
    if (!s.memory) return s.create(t);
    s.steps_before_restart += s.counted_steps();
    s.rhs_before_restart += s.counted_rhs();
    if (s.bdf) s.check(CVodeReInit(s.memory, t, s.y), "a restart");
    else s.check(ERKStepReInit(s.memory, State::rhs, t, s.y), "a restart");
}

double VariableStepIntegrator::step(double stop_at, double* x) {
    State& s = *state_;
    realtype reached = s.time;
    int flag;
    if (s.bdf) {
        s.check(CVodeSetStopTime(s.memory, stop_at), "the stop time");
        flag = CVode(s.memory, stop_at, s.y, &reached, CV_ONE_STEP);
    } else {
        s.check(ERKStepSetStopTime(s.memory, stop_at), "the stop time");
        flag = ERKStepEvolve(s.memory, stop_at, s.y, &reached, ARK_ONE_STEP);
    }
    if (flag < 0) s.fail(flag);
    s.found_roots = flag == ARK_ROOT_RETURN;  // CV_ROOT_RETURN has the same value
    if (s.found_roots) s.check(s.bdf ? CVodeGetRootInfo(s.memory, s.roots.data())
                                    : ERKStepGetRootInfo(s.memory, s.roots.data()),
                               "its roots");
    s.time = reached;
    std::copy(N_VGetArrayPointer(s.y), N_VGetArrayPointer(s.y) + NV_LENGTH_S(s.y), x);
    return reached;
}

const std::vector<int>& VariableStepIntegrator::roots() const {
    static const std::vector<int> none;
    return state_->found_roots ? state_->roots : none;
}

long VariableStepIntegrator::steps() const { return state_->steps_before_restart + state_->counted_steps(); }
long VariableStepIntegrator::rhs_evaluations() const {
    return state_->rhs_before_restart + state_->counted_rhs();
}

}  // namespace host

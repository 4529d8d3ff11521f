// The host's own failures, shared by every layer of it and by blocksim.
#pragma once

#include <stdexcept>

namespace host {

// A host-side failure: a library not found, a bad model, a refused connection.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace host

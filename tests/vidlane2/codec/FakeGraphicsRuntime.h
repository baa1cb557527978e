#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct cudaGraphicsResource;

namespace fake_graphics {

struct Call {
    std::string kind; // "image", "buffer" or "unregister"
    uint32_t name;
    uint32_t target;
    unsigned int flags;
    cudaGraphicsResource* resource;
};

struct State {
    std::vector<Call> calls;
    std::set<cudaGraphicsResource*> live;
    int failRegistrations = 0;
    int failUnregistrations = 0;
    uint32_t nextHandle = 0;
};

State& state();

} // namespace fake_graphics

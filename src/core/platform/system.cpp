// SPDX-License-Identifier: Apache-2.0
// Copyright The Larkspur developers
// POSIX: the process, its user and the system's messages.
#include "system.h"

#include <cstring>

#include <sched.h>
#include <unistd.h>

namespace larkspur::platform {

std::string SystemMessage(int errorNumber)
{
    return std::strerror(errorNumber);
}

unsigned ProcessorCount()
{
    // The processors of this process's affinity (taskset, a container's
    // cpuset), not all those the machine has.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

bool IsTrustedOwner(std::uint32_t user)
{
    return user == 0 || user == static_cast<std::uint32_t>(::geteuid());
}

}  // namespace larkspur::platform

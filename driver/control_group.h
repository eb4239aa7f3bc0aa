// The memory a control group lets the process have: a batch job's memory
// request or a container's limit. The kernel kills a process that goes
// beyond it, whatever physical memory and swap hold.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace zorvik {

// The smallest memory limit, in bytes, of the process's control groups and
// their ancestors within each mounted hierarchy: `memory.max` of the unified
// hierarchy (cgroup v2) and `memory.limit_in_bytes` of the memory hierarchy
// (cgroup v1), the groups found through /proc/self/cgroup and the
// hierarchies through /proc/self/mountinfo. All paths are taken under `root`
// (the file system's root but in tests). Nothing when no group sets a limit
// or none can be read; a v1 group without a limit shows a count near 2^63,
// which is returned as it stands.
std::optional<std::uint64_t> control_group_memory_limit(const std::filesystem::path& root = "/");

}  // namespace zorvik

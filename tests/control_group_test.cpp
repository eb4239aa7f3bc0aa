// The memory limit of the process's control groups, looked up in made-up
// group trees under a temporary root: each tree as /proc/self/cgroup,
// /proc/self/mountinfo and the limit files of the groups.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "control_group.h"

namespace zorvik {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUnified = "30 22 0:27 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw\n";
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

TEST(ControlGroup, SmallestLimitOfTheGroupAndItsAncestors) {
  const struct {
    const char* what;
    const char* cgroup;
    std::string mountinfo;
    std::vector<std::pair<const char*, const char*>> files;
    std::optional<std::uint64_t> limit;
  } trees[] = {
      {"v2: a job's limit binds its step", "0::/job/step\n", kUnified,
       {{"sys/fs/cgroup/job/memory.max", "4294967296\n"}, {"sys/fs/cgroup/job/step/memory.max", "max\n"}},
       4 * kGiB},
      {"v2: the group's own limit below its parent's", "0::/job/step\n", kUnified,
       {{"sys/fs/cgroup/job/memory.max", "4294967296\n"}, {"sys/fs/cgroup/job/step/memory.max", "1073741824\n"}},
       kGiB},
      {"v2: no limit anywhere", "0::/user.slice/session\n", kUnified,
       {{"sys/fs/cgroup/user.slice/memory.max", "max\n"}, {"sys/fs/cgroup/user.slice/session/memory.max", "max\n"}},
       std::nullopt},
      {"v1: a container's memory group mounted at its own root", "9:cpu,cpuacct:/docker/c1\n4:memory:/docker/c1\n",
       "31 30 0:28 /docker/c1 /sys/fs/cgroup/cpu,cpuacct rw - cgroup cgroup rw,cpu,cpuacct\n"
       "34 30 0:31 /docker/c1 /sys/fs/cgroup/memory rw,relatime - cgroup cgroup rw,memory\n",
       {{"sys/fs/cgroup/cpu,cpuacct/memory.limit_in_bytes", "1\n"},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", "2147483648\n"}},
       2 * kGiB},
      {"v1 memory beside a unified hierarchy without a memory controller", "4:memory:/slurm/job_7\n0::/\n",
       std::string("34 30 0:31 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n") +
           "40 30 0:37 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw\n",
       {{"sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"},
        {"sys/fs/cgroup/memory/slurm/job_7/memory.limit_in_bytes", "3221225472\n"}},
       3 * kGiB},
      {"a group outside the mount's view", "0::/../other\n", kUnified,
       {{"sys/fs/cgroup/memory.max", "1073741824\n"}}, std::nullopt},
      {"no control groups", "", "", {}, std::nullopt},
  };
  for (const auto& tree : trees) {
    SCOPED_TRACE(tree.what);
    char name[] = "/tmp/zorvik_cgroup_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const fs::path root = name;
    std::vector<std::pair<const char*, std::string>> files(tree.files.begin(), tree.files.end());
    files.emplace_back("proc/self/cgroup", tree.cgroup);
    files.emplace_back("proc/self/mountinfo", tree.mountinfo);
    for (const auto& [path, content] : files) {
      fs::create_directories((root / path).parent_path());
      std::ofstream(root / path) << content;
    }

    EXPECT_EQ(control_group_memory_limit(root), tree.limit);
    fs::remove_all(root);
  }
}

}  // namespace
}  // namespace zorvik

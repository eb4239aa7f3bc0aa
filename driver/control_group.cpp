#include "control_group.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace zorvik {
namespace {

namespace fs = std::filesystem;

// The whole file, or nothing when it cannot be read.
std::string text_of(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0;;) {
    const std::size_t end = text.find(separator, at);
    parts.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
    if (end == std::string_view::npos) return parts;
    at = end + 1;
  }
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a list, then the item looked for
bool lists(std::string_view comma_separated, std::string_view item) {
  const std::vector<std::string_view> items = split(comma_separated, ',');
  return std::find(items.begin(), items.end(), item) != items.end();
}

// A kind of hierarchy that can hold a memory limit: its file-system type,
// the super-block option that marks it (none when empty), and the file of the
// limit in each of its groups.
struct Hierarchy {
  std::string_view type;
  std::string_view option;
  const char* limit_file;
};
constexpr Hierarchy kUnified{"cgroup2", "", "memory.max"};
constexpr Hierarchy kMemoryV1{"cgroup", "memory", "memory.limit_in_bytes"};

// A mounted hierarchy: the group at the mount's root, and where it is mounted.
struct Mount {
  std::string_view group;
  std::string_view point;
};

// The mounts of hierarchies of kind `h` in /proc/self/mountinfo, whose
// lines read "ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [FIELDS...] - TYPE
// SOURCE SUPER_OPTIONS".
std::vector<Mount> mounts_of(std::string_view mountinfo, const Hierarchy& h) {
  std::vector<Mount> mounts;
  for (const std::string_view line : split(mountinfo, '\n')) {
    const std::size_t dash = line.find(" - ");
    if (dash == std::string_view::npos) continue;
    const std::vector<std::string_view> mount = split(line.substr(0, dash), ' ');
    const std::vector<std::string_view> file_system = split(line.substr(dash + 3), ' ');
    if (mount.size() < 6 || file_system.size() < 3 || file_system[0] != h.type) continue;
    if (h.option.empty() || lists(file_system[2], h.option)) mounts.push_back({mount[3], mount[4]});
  }
  return mounts;
}

// The byte count in a group's limit file; nothing for "max" or no file.
std::optional<std::uint64_t> limit_in(const fs::path& file) {
  const std::string text = text_of(file);
  std::uint64_t bytes = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bytes);
  if (error != std::errc{} || end == text.data()) return std::nullopt;
  return bytes;
}

// Takes into `smallest` the limit in `file` of `group` and of every ancestor
// that `mount` shows. A group outside the mount's view is left alone.
void take_limits(const fs::path& root, const Mount& mount, std::string_view group, const char* file,
                 std::optional<std::uint64_t>& smallest) {
  std::string_view below = group;
  if (mount.group != "/") {
    if (!group.starts_with(mount.group)) return;
    below = group.substr(mount.group.size());
    if (!below.empty() && below.front() != '/') return;
  }
  const fs::path path_below = fs::path(below).relative_path();
  if (std::find(path_below.begin(), path_below.end(), "..") != path_below.end()) return;
  fs::path directory = root / fs::path(mount.point).relative_path();
  const auto take = [&] {
    const std::optional<std::uint64_t> bytes = limit_in(directory / file);
    if (bytes && (!smallest || *bytes < *smallest)) smallest = bytes;
  };
  take();
  for (const fs::path& name : path_below) {
    if (name.empty() || name == ".") continue;
    directory /= name;
    take();
  }
}

}  // namespace

std::optional<std::uint64_t> control_group_memory_limit(const fs::path& root) {
  const std::string mountinfo = text_of(root / "proc/self/mountinfo");
  const std::string groups = text_of(root / "proc/self/cgroup");
  std::optional<std::uint64_t> smallest;
  // A line reads "ID:CONTROLLERS:GROUP"; "0::GROUP" is the unified hierarchy.
  for (const std::string_view line : split(groups, '\n')) {
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first == std::string_view::npos ? first : first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    const std::string_view group = line.substr(second + 1);
    const bool unified = line.substr(0, first) == "0" && controllers.empty();
    if (!unified && !lists(controllers, "memory")) continue;
    const Hierarchy& h = unified ? kUnified : kMemoryV1;
    for (const Mount& m : mounts_of(mountinfo, h)) take_limits(root, m, group, h.limit_file, smallest);
  }
  return smallest;
}

}  // namespace zorvik

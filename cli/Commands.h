#pragma once
// The subcommands of quillory-cli. Each takes the words after its own name and returns the
// process exit code: 0 success, 1 failure of the work, 2 bad usage or bad input.

#include <string>
#include <vector>

namespace quillory::cli {

using Args = std::vector<std::string>;

int RunQuery(const Args& args);
int RunWatch(const Args& args);
int RunGantry(const Args& args);
int RunLaunch(const Args& args);
int RunNews(const Args& args);
int RunServers(const Args& args);
int RunUpgrade(const Args& args);

} // namespace quillory::cli

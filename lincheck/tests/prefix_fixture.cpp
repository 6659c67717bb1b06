#include <gtest/gtest.h>

#include <sstream>

#include "prefix_fixture.h"
#include "vorga.h"

namespace vorga_test {

VorgaRun run_vorga(const std::vector<std::string>& args) {
    std::vector<std::string> a{"vorga"};
    a.insert(a.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    VorgaRun r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    r.code = vorga::vorga_main(static_cast<int>(a.size()), argv.data());
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

bool trail_of(const std::string& out, std::vector<std::string>& names) {
    names.clear();
    const std::string key = "YES\n_SEQUENCE:\n";
    std::size_t p = out.find(key);
    if (p == std::string::npos) return false;
    p += key.size();
    std::size_t end = out.find('\n', p);
    std::string line = out.substr(p, end - p);
    std::stringstream ss(line);
    std::string item;
    while (std::getline(ss, item, ','))
        if (!item.empty()) names.push_back(item);
    return true;
}

}  // namespace vorga_test

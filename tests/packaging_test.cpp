// What gets installed beside the binary.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Standard output and error of a shell command, and its status.
std::pair<int, std::string> shell(const std::string& command)
{
    std::string output;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pclose(pipe);
    return {WEXITSTATUS(status), output};
}

bool have(const char* program)
{
    return shell(std::string("command -v ") + program).first == 0;
}

TEST(Packaging, SystemdUnitRunsTheDaemonAndVerifies)
{
    const std::string unit = read_file(KA720_UNIT_FILE);
    for (const char* line : {"Type=simple\n", "Restart=on-failure\n",
                             "After=systemd-modules-load.service\n", "WantedBy=multi-user.target\n"})
        EXPECT_NE(unit.find(line), std::string::npos) << line;
    const std::string exec_start = "ExecStart=" KA720_INSTALLED_TOOL " --daemon\n";
    const std::size_t at = unit.find(exec_start);
    ASSERT_NE(at, std::string::npos) << unit;

    if (!have("systemd-analyze"))
        GTEST_SKIP() << "systemd-analyze is not installed";
    // Verified against the built binary, since the installed one may not exist yet.
    const fs::path directory = fs::temp_directory_path() / "ka720-unit-test";
    fs::create_directories(directory);
    std::string checked = unit;
    checked.replace(at, exec_start.size(), "ExecStart=" KA720_TOOL " --daemon\n");
    std::ofstream(directory / "ka720-optical.service") << checked;
    const auto [status, output] = shell("systemd-analyze verify --man=no "
                                        + (directory / "ka720-optical.service").string());
    fs::remove_all(directory);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, "");
}

} // namespace

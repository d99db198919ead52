// What gets installed beside the binaries.

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
    return shell(std::string("command -v ") + program + " >/dev/null").first == 0;
}

void replace_all(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

TEST(Packaging, SystemdUnitRunsTheDaemon)
{
    const std::string unit = read_file(KA720_BUILD_DIR "/ka720-optical.service");
    for (const char* line :
         {"Type=simple\n", "Restart=on-failure\n", "After=systemd-modules-load.service\n",
          "ExecStart=" KA720_INSTALLED_BINDIR "/ka720-optical --daemon\n",
          "WantedBy=multi-user.target\n"})
        EXPECT_NE(unit.find(line), std::string::npos) << line;
}

TEST(Packaging, SystemdUnitsVerify)
{
    if (!have("systemd-analyze"))
        GTEST_SKIP() << "systemd-analyze is not installed";
    // Checked against the built programs, since the installed ones may not exist.
    const fs::path directory = fs::temp_directory_path() / "ka720-unit-test";
    fs::create_directories(directory);
    std::string units;
    for (const fs::path& source : {fs::path(KA720_BUILD_DIR "/ka720-optical.service"),
                                   fs::path(KA720_BUILD_DIR "/ka720-optical-status.service"),
                                   fs::path(KA720_SOURCE_DIR "/packaging/ka720-optical-status.timer")}) {
        std::string text = read_file(source);
        ASSERT_FALSE(text.empty()) << source;
        replace_all(text, KA720_INSTALLED_LIBEXECDIR, KA720_BUILD_DIR);
        replace_all(text, KA720_INSTALLED_BINDIR, KA720_BUILD_DIR);
        std::ofstream(directory / source.filename()) << text;
        units += " " + (directory / source.filename()).string();
    }
    const auto [status, output] = shell("systemd-analyze verify --man=no" + units);
    fs::remove_all(directory);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, "");
}

} // namespace

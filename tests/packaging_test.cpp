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

// The files every install gives, under the prefix.
const char* const installed_files[] = {
    "bin/ka720-optical",
    "bin/ka720-optical-status",
    "lib/systemd/system/ka720-optical.service",
    "lib/systemd/system/ka720-optical-status.service",
    "lib/systemd/system/ka720-optical-status.timer",
    "libexec/ka720-optical/ka720-optical-status-textfile",
    "share/man/man8/ka720-optical.8",
    "share/man/man8/ka720-optical-status.8",
    "share/bash-completion/completions/ka720-optical",
    "share/bash-completion/completions/ka720-optical-status",
};

class Scratch : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ka720-packaging-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
    }
    void TearDown() override { fs::remove_all(scratch); }
    fs::path scratch;
};

using Install = Scratch;

TEST_F(Install, HonoursDestdirAndPrefix)
{
    const auto [status, output] = shell("DESTDIR=" + scratch.string() + " cmake --install " KA720_BUILD_DIR);
    ASSERT_EQ(status, 0) << output;
    for (const char* file : installed_files)
        EXPECT_TRUE(fs::is_regular_file(scratch / (KA720_INSTALL_PREFIX + 1) / file)) << file;
    // Another prefix, still under DESTDIR so that nothing can reach the host.
    const auto [prefixed, log] = shell("DESTDIR=" + scratch.string() + " cmake --install "
                                       KA720_BUILD_DIR " --prefix /opt/elsewhere");
    ASSERT_EQ(prefixed, 0) << log;
    for (const char* file : installed_files)
        EXPECT_TRUE(fs::is_regular_file(scratch / "opt/elsewhere" / file)) << file;
}

TEST(ManPages, RenderWithoutWarningsAndCoverEveryOption)
{
    if (!have("groff"))
        GTEST_SKIP() << "groff is not installed";
    for (const char* page : {"ka720-optical.8", "ka720-optical-status.8"}) {
        const auto [status, output]
            = shell(std::string("groff -ww -z -man " KA720_SOURCE_DIR "/man/") + page);
        EXPECT_EQ(status, 0) << page;
        EXPECT_EQ(output, "") << page;
    }
    const std::string tool = read_file(KA720_SOURCE_DIR "/man/ka720-optical.8");
    // Names as roff writes them, with \\- for each hyphen.
    for (const char* text : {R"(\-\-set\-node)", R"(\-\-daemon)", R"(\-\-info)",
                             R"(\-\-print\-reg)", R"(\-\-topo)", R"(\-\-p2p\-ping)",
                             R"(read\-data)", R"(reset\-data)", R"(p2p\-read)", R"(p2p\-write)",
                             "kz_node", "itr_debug", "minor", "EXIT STATUS", "EXAMPLES", "128", "255"})
        EXPECT_NE(tool.find(text), std::string::npos) << text;
    const std::string status = read_file(KA720_SOURCE_DIR "/man/ka720-optical-status.8");
    for (const char* text : {R"(\-\-format)", "json", "prometheus", "table", "schema_version", "resource",
                             "ka720_link_up", "EXIT STATUS"})
        EXPECT_NE(status.find(text), std::string::npos) << text;
}

// What bash offers after the words typed so far.
std::string completions(const char* file, const char* function, const std::string& words)
{
    return shell(std::string("bash -c 'source " KA720_SOURCE_DIR "/completion/") + file
                 + "; COMP_WORDS=(" + words + "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); " + function
                 + "; echo ${COMPREPLY[*]}'")
        .second;
}

TEST(BashCompletion, OffersOptionsAndValues)
{
    if (!have("bash"))
        GTEST_SKIP() << "bash is not installed";
    EXPECT_EQ(completions("ka720-optical", "_ka720_optical", "ka720-optical --p2p-ping \"\""),
              "p2p-read p2p-write reset-data read-data\n");
    EXPECT_EQ(completions("ka720-optical", "_ka720_optical", "ka720-optical --p2p-ping re"),
              "reset-data read-data\n");
    EXPECT_EQ(completions("ka720-optical", "_ka720_optical", "ka720-optical --set-node \"\""), "0 1\n");
    EXPECT_EQ(completions("ka720-optical", "_ka720_optical", "ka720-optical --"),
              "--set-node --daemon --info --print-reg --topo --p2p-ping --help\n");
    EXPECT_EQ(completions("ka720-optical-status", "_ka720_optical_status",
                          "ka720-optical-status --format \"\""),
              "json prometheus table\n");
}

using DebianPackage = Scratch;

TEST_F(DebianPackage, InstallsTheSameFilesAndRuns)
{
    if (!have("cpack") || !have("dpkg-shlibdeps"))
        GTEST_SKIP() << "cpack or dpkg-dev is not installed";
    const auto [built, log] = shell("cd " KA720_BUILD_DIR " && cpack -G DEB -B " + scratch.string());
    ASSERT_EQ(built, 0) << log;
    const std::string deb = (scratch / "ka720-optical_1.0.0_amd64.deb").string();
    EXPECT_EQ(shell("dpkg-deb -f " + deb + " Package").second, "ka720-optical\n");
    const std::string depends = shell("dpkg-deb -f " + deb + " Depends").second;
    for (const char* package : {"pciutils", "libstdc++6", "libc6"})
        EXPECT_NE(depends.find(package), std::string::npos) << depends;

    // Installed by dpkg into a tree of its own, then run from there.
    const fs::path root = scratch / "root";
    fs::create_directories(root / "var/lib/dpkg/info");
    fs::create_directories(root / "var/lib/dpkg/updates");
    std::ofstream(root / "var/lib/dpkg/status").flush();
    const auto [installed, dpkg_log] = shell("dpkg --root=" + root.string()
                                             + " --force-depends --force-script-chrootless -i " + deb);
    ASSERT_EQ(installed, 0) << dpkg_log;
    for (const char* file : installed_files)
        EXPECT_TRUE(fs::is_regular_file(root / (KA720_INSTALL_PREFIX + 1) / file)) << file;
    const auto [ran, help] = shell((root / (KA720_INSTALL_PREFIX + 1) / "bin/ka720-optical").string()
                                   + " --help");
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(help.rfind("Norvane Tesselon KA720 Optical Tool.\n", 0), 0u) << help;
}

} // namespace

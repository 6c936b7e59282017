// The Debian package of the built tree: its fields, its files in the Linux
// places, and the zemconvert in it converting a clip from a scratch root
// (dpkg -x, no installation needed).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "PackagingSupport.h"
#include "TestClips.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

const std::string kDebName = std::string("zemconverter_") + ZEM_PACKAGE_VERSION + "_amd64.deb";

// One package for every case: cpack of the whole tree takes a while.
class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<zem::testclips::TempDir>();
        if (!Have("dpkg-deb") || !Have("dpkg-shlibdeps")) {
            s_skip = "dpkg-deb or dpkg-shlibdeps is missing (scripts/install-deps.sh installs dpkg-dev)";
            return;
        }
        const std::string work = s_dir->path().string();
        s_cpack = RunProgram(QStringLiteral(ZEM_CPACK),
                             {QStringLiteral("--config"), QStringLiteral(ZEM_BINARY_DIR "/CPackConfig.cmake"),
                              QStringLiteral("-B"), QString::fromStdString(work)},
                             {}, 280);
        s_deb = work + "/" + kDebName;
        s_root = work + "/root";
        if (fs::exists(s_deb))
            s_extract = RunProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), QString::fromStdString(s_deb),
                                                                QString::fromStdString(s_root)});
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override {
        if (!s_skip.empty())
            GTEST_SKIP() << s_skip;
        ASSERT_EQ(s_cpack.exitCode, 0) << s_cpack.out << s_cpack.err;
        ASSERT_TRUE(fs::exists(s_deb)) << s_cpack.out;
        ASSERT_EQ(s_extract.exitCode, 0) << s_extract.err;
    }

    static std::string Field(const char* name) {
        const Ran ran = RunProgram(QStringLiteral("dpkg-deb"),
                                   {QStringLiteral("-f"), QString::fromStdString(s_deb), QLatin1String(name)});
        return ran.out;
    }

    static inline std::unique_ptr<zem::testclips::TempDir> s_dir;
    static inline std::string s_skip, s_deb, s_root;
    static inline Ran s_cpack, s_extract;
};

} // namespace

TEST_F(Package, NamesWhatTheProgramsNeedAtRunTime) {
    EXPECT_EQ(Field("Package"), "zemconverter\n");
    EXPECT_EQ(Field("Version"), std::string(ZEM_PACKAGE_VERSION) + "\n");
    EXPECT_EQ(Field("Architecture"), "amd64\n");
    const std::string depends = Field("Depends");
    // From dpkg-shlibdeps: the libraries the programs link.
    for (const char* library :
         {"libqt6core6", "libqt6widgets6", "libgstreamer1.0-0", "libjpeg62-turbo", "libavformat59", "libc6"})
        EXPECT_NE(depends.find(library), std::string::npos) << library << " not in: " << depends;
    // Loaded at run time, seen by no linker.
    for (const char* plugins : {"gstreamer1.0-plugins-good", "gstreamer1.0-plugins-bad", "gstreamer1.0-plugins-ugly",
                                "gstreamer1.0-libav", "qt6-qpa-plugins"})
        EXPECT_NE(depends.find(plugins), std::string::npos) << plugins << " not in: " << depends;
    // The preview's sound: any one of the outputs a desktop has.
    EXPECT_NE(depends.find("gstreamer1.0-pulseaudio | gstreamer1.0-pipewire | gstreamer1.0-alsa"), std::string::npos)
        << depends;
}

TEST_F(Package, HoldsBothProgramsTheirDataManualsAndCompletion) {
    const fs::path usr = fs::path(s_root) / "usr";
    for (const char* file :
         {"bin/zemconverter", "bin/zemconvert", "share/zemconverter/Lang/KOR.ini", "share/zemconverter/Lang/CHT.ini",
          "share/zemconverter/Doc/ZemConverter_UserManual_Eng.html", "share/applications/zemconverter.desktop",
          "share/metainfo/zemconverter.metainfo.xml", "share/icons/hicolor/scalable/apps/zemconverter.svg",
          "share/icons/hicolor/64x64/apps/zemconverter.png", "share/man/man1/zemconvert.1.gz",
          "share/man/man1/zemconverter.1.gz", "share/bash-completion/completions/zemconvert",
          "share/zsh/vendor-completions/_zemconvert"})
        EXPECT_TRUE(fs::is_regular_file(usr / file)) << file;
    // Nothing outside /usr, and nothing of the tests or benchmarks.
    for (const auto& entry : fs::directory_iterator(s_root))
        EXPECT_EQ(entry.path().filename(), "usr");
    for (const auto& entry : fs::directory_iterator(usr / "bin"))
        EXPECT_TRUE(entry.path().filename() == "zemconvert" || entry.path().filename() == "zemconverter")
            << entry.path();
}

TEST_F(Package, ItsZemconvertConvertsAClipAndItsCompletionLoads) {
    zem::testclips::TempDir work;
    const fs::path clip = zem::testclips::MakeClip(work.path(), "mp4", 1.0);
    ASSERT_FALSE(clip.empty());
    const QString zemconvert = QString::fromStdString(s_root + "/usr/bin/zemconvert");
    const Ran version = RunProgram(zemconvert, {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_NE(version.out.find(ZEM_PACKAGE_VERSION), std::string::npos) << version.out;
    const Ran run =
        RunProgram(zemconvert, {QStringLiteral("-s"), QStringLiteral("96x64"), QString::fromStdString(clip.string())});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    fs::path output = clip;
    output.replace_filename(clip.stem().string() + "_ZM.avi");
    ASSERT_TRUE(fs::exists(output)) << run.out;
    std::ifstream avi(output, std::ios::binary);
    char head[12] = {};
    avi.read(head, sizeof head);
    EXPECT_EQ(std::string(head, 4), "RIFF");
    EXPECT_EQ(std::string(head + 8, 4), "AVI ");

    // bash-completion finds the script by the command's name, as an installed one would be found.
    const char* loader = "/usr/share/bash-completion/bash_completion";
    if (!fs::exists(loader))
        GTEST_SKIP() << "bash-completion is not installed (scripts/install-deps.sh installs it)";
    const Ran complete =
        RunBash(std::string("source ") + loader + "; _completion_loader zemconvert; complete -p zemconvert",
                {QStringLiteral("XDG_DATA_DIRS=") + QString::fromStdString(s_root + "/usr/share"),
                 QStringLiteral("BASH_COMPLETION_USER_DIR=/nonexistent")});
    EXPECT_NE(complete.out.find("complete -F _zemconvert zemconvert"), std::string::npos)
        << complete.out << complete.err;
}

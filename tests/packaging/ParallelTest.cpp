// The README's recipes for spreading a library over several machines with
// GNU parallel, run on this one: every clip converted once, every result
// gathered as a JSON line.

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <set>
#include <sstream>

#include "AviParse.h"
#include "PackagingSupport.h"
#include "TestClips.h"

using namespace zem::test;
namespace fs = std::filesystem;

namespace {

constexpr int kClips = 4;

class Parallel : public ::testing::Test {
protected:
    zem::testclips::TempDir dir;
    fs::path clips, out;

    void SetUp() override {
        if (!Have("parallel"))
            GTEST_SKIP() << "GNU parallel is not installed (scripts/install-deps.sh installs parallel)";
        clips = dir.path() / "clips";
        out = dir.path() / "out";
        fs::create_directories(clips);
        fs::create_directories(out);
        const fs::path clip = zem::testclips::MakeClip(dir.path(), "mp4", 1.0);
        ASSERT_FALSE(clip.empty());
        for (int i = 0; i < kClips; ++i)
            fs::copy_file(clip, clips / ("film " + std::to_string(i) + ".mp4"));
    }

    // Runs a recipe in the test's folder with zemconvert on the PATH.
    Ran Recipe(const std::string& command) {
        const std::string bin = fs::path(ZEMCONVERT_PATH).parent_path().string();
        return RunBash("cd '" + dir.path().string() + "' && PATH='" + bin + "':$PATH && " + command, {}, 280);
    }

    // Each clip's result line says completed, and its output is a sound AVI.
    void CheckResults(const Ran& ran) {
        std::istringstream in(Slurp(dir.path() / "results.jsonl"));
        std::set<std::string> inputs;
        int results = 0;
        for (std::string line; std::getline(in, line);) {
            const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            ASSERT_FALSE(o.isEmpty()) << "not JSON: " << line;
            if (o.value(QLatin1String("event")).toString() != QLatin1String("result"))
                continue;
            ++results;
            inputs.insert(fs::path(o.value(QLatin1String("input")).toString().toStdString()).filename().string());
            EXPECT_EQ(o.value(QLatin1String("status")).toString().toStdString(), "completed") << line;
            const std::string output = o.value(QLatin1String("output")).toString().toStdString();
            const fs::path written = fs::path(output).is_absolute() ? fs::path(output) : dir.path() / output;
            const AviFile avi = ParseAvi(written.string());
            EXPECT_TRUE(avi.problems.empty()) << output;
            EXPECT_EQ(o.value(QLatin1String("frames")).toInteger(), qint64(avi.videoCount())) << output;
            EXPECT_GE(avi.videoCount(), 15u) << output;
        }
        EXPECT_EQ(results, kClips) << ran.out << ran.err;
        EXPECT_EQ(inputs.size(), size_t(kClips));
        size_t outputs = 0;
        for (const auto& entry : fs::directory_iterator(out))
            outputs += entry.path().extension() == ".avi" ? 1 : 0;
        EXPECT_EQ(outputs, size_t(kClips));
    }

    static std::string Slurp(const fs::path& path) {
        QFile file(QString::fromStdString(path.string()));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
};

} // namespace

TEST_F(Parallel, OneZemconvertAFileTwoAtATime) {
    const Ran ran = Recipe(
        "find clips -name '*.mp4' -print0 | parallel --will-cite -0 -j 2 -S : "
        "zemconvert --json -d out/ {} > results.jsonl");
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    CheckResults(ran);
}

TEST_F(Parallel, ListsOfFilesHandedOutInParts) {
    const Ran ran = Recipe(
        "find clips -name '*.mp4' -print0 | parallel --will-cite --pipe --recend '\\0' -N 2 -j 2 "
        "-S 2/: zemconvert -0 --files-from - --json -d out/ > results.jsonl");
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    CheckResults(ran);
}

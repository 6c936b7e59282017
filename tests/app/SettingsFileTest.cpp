// Stored options and the numbers a conversion derives from them.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "SettingsFile.h"
#include "TestDirs.h"

using namespace zem;
using namespace zem::test;

TEST(ConversionSettingsTest, FirstRunGivesTheDefaults) {
    TempDir dir;
    ConversionSettings s;
    s.m_qualityIndex = 4;
    s.m_saveFrames = 1;
    zem::app::LoadSettingsFile(QString::fromStdString(dir.file("none.ini")), s);
    EXPECT_EQ(s.m_videoSizeIndex, 0);
    EXPECT_EQ(s.m_rotate, 0);
    EXPECT_EQ(s.m_convertAll, 1);
    EXPECT_EQ(s.m_saveMp3, 0);
    EXPECT_EQ(s.m_monitoring, 0);
    EXPECT_EQ(s.m_qualityIndex, 2);
    EXPECT_EQ(s.m_saveFrames, 0);
    const zem::ConversionJob job = s.MakeJob("in.mp4", "out.avi");
    EXPECT_EQ(job.videoWidth, 320);
    EXPECT_EQ(job.videoHeight, 240);
    EXPECT_EQ(job.jpegQuality, 80);
    EXPECT_FALSE(job.keepMp3);
}

TEST(ConversionSettingsTest, SixKeysRoundTripQualityIncluded) {
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("ZemConverter.ini"));
    ConversionSettings s;
    zem::app::LoadSettingsFile(path, s);
    s.m_videoSizeIndex = 5;
    s.m_rotate = 2;
    s.m_convertAll = 0;
    s.m_saveMp3 = 1;
    s.m_monitoring = 1;
    s.m_qualityIndex = 0;
    zem::app::SaveSettingsFile(path, s);

    std::ifstream in(path.toStdString());
    std::stringstream text;
    text << in.rdbuf();
    const std::string ini = text.str();
    EXPECT_NE(ini.find("[ZemConverter]"), std::string::npos) << ini;
    for (const char* line : {"VideoSize=5", "Rotate=2", "AllFlag=0", "SaveMp3=1", "Monitoring=1"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << " missing in\n" << ini;
    EXPECT_NE(ini.find("Quality=0"), std::string::npos) << ini;

    ConversionSettings again;
    zem::app::LoadSettingsFile(path, again);
    EXPECT_EQ(again.m_videoSizeIndex, 5);
    EXPECT_EQ(again.m_rotate, 2);
    EXPECT_EQ(again.m_convertAll, 0);
    EXPECT_EQ(again.m_saveMp3, 1);
    EXPECT_EQ(again.m_monitoring, 1);
    EXPECT_EQ(again.m_qualityIndex, 0);
    const zem::ConversionJob job = again.MakeJob("in.mp4", "out.avi");
    EXPECT_EQ(job.videoWidth, 208);
    EXPECT_EQ(job.videoHeight, 176);
    EXPECT_EQ(job.StoredWidth(), 176);
    EXPECT_EQ(job.StoredHeight(), 208);
    EXPECT_EQ(job.jpegQuality, 95);
    EXPECT_TRUE(job.keepMp3);
    EXPECT_TRUE(job.monitoring);
}

TEST(ConversionSettingsTest, EveryDeclaredChoiceRoundTripsThroughTheSettingsFileIntoTheJob) {
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("choices.ini"));
    // Each choice of each stored option: saved, read back, and its meaning in the job.
    struct Case {
        const zem::ChoiceOption& option;
        int32_t ConversionSettings::*member;
        int (*inJob)(const zem::ConversionJob&);
        int (*declared)(const zem::OptionChoice&);
    };
    using Job = zem::ConversionJob;
    using Choice = zem::OptionChoice;
    const Case cases[] = {
        {zem::kSizeOption, &ConversionSettings::m_videoSizeIndex, [](const Job& j) { return j.videoWidth; },
         [](const Choice& c) { return c.value; }},
        {zem::kSizeOption, &ConversionSettings::m_videoSizeIndex, [](const Job& j) { return j.videoHeight; },
         [](const Choice& c) { return c.value2; }},
        {zem::kQualityOption, &ConversionSettings::m_qualityIndex, [](const Job& j) { return j.jpegQuality; },
         [](const Choice& c) { return c.value; }},
        {zem::kRotationOption, &ConversionSettings::m_rotate, [](const Job& j) { return j.rotate; },
         [](const Choice& c) { return c.value; }},
    };
    for (const Case& c : cases) {
        for (const Choice& choice : c.option.choices) {
            SCOPED_TRACE(std::string(c.option.cliLong) + " " + std::to_string(choice.stored));
            ConversionSettings s;
            zem::app::LoadSettingsFile(path, s);
            s.*c.member = choice.stored;
            zem::app::SaveSettingsFile(path, s);
            ConversionSettings again;
            zem::app::LoadSettingsFile(path, again);
            EXPECT_EQ(again.*c.member, choice.stored);
            EXPECT_EQ(c.inJob(again.MakeJob("in.mp4", "out.avi")), c.declared(choice));
        }
    }
    // "Middle" and "Low" are the same quality; the hidden seventh size is "176 x 128".
    EXPECT_EQ(zem::kQualityOption.Resolve(3).value, zem::kQualityOption.Resolve(4).value);
    EXPECT_EQ(zem::kSizeOption.Resolve(6).value, zem::kSizeOption.Resolve(2).value);
}

TEST(ConversionSettingsTest, HandEditedValuesOutsideTheTablesNeverReachTheEngine) {
    TempDir dir;
    const std::string path = dir.file("bad.ini");
    std::ofstream(path) << "[ZemConverter]\nVideoSize=9\nRotate=7\n";
    ConversionSettings s;
    zem::app::LoadSettingsFile(QString::fromStdString(path), s);
    EXPECT_EQ(s.m_videoSizeIndex, 9); // kept as read: the window shows no size checked
    zem::ConversionJob job = s.MakeJob("in.mp4", "out.avi");
    EXPECT_EQ(job.videoWidth, 320);
    EXPECT_EQ(job.videoHeight, 240);
    EXPECT_EQ(job.rotate, 0);
    s.m_videoSizeIndex = -1; // no radio checked
    s.m_qualityIndex = -1;
    job = s.MakeJob("in.mp4", "out.avi");
    EXPECT_EQ(job.videoWidth, 320);
    EXPECT_EQ(job.jpegQuality, 80);
}

TEST(ConversionSettingsTest, ASettingsFileThatIsNotAFileIsRefusedAtOnceAndTheDefaultsTaken) {
    zem::test::TempDir dir;
    const std::string fifo = dir.file("ZemConverter.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const QString path = QString::fromStdString(fifo);
    EXPECT_EQ(zem::app::SettingsFileProblem(path), path + QStringLiteral(" is not a regular file"));
    EXPECT_EQ(zem::app::SettingsFileProblem(QString::fromStdString(dir.file("absent.ini"))), QString());
    zem::ConversionSettings settings;
    settings.m_videoSizeIndex = 4;
    settings.m_convertAll = 0;
    zem::app::LoadSettingsFile(path, settings); // with nobody writing to the FIFO, a read would wait for ever
    EXPECT_EQ(settings.m_videoSizeIndex, 0);
    EXPECT_EQ(settings.m_convertAll, 1);
}

// Stored options and the numbers a conversion derives from them.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "ConversionSettings.h"
#include "TestDirs.h"

using namespace zem;
using namespace zem::test;

TEST(ConversionSettingsTest, FirstRunGivesTheDefaults) {
    TempDir dir;
    ConversionSettings s;
    s.m_qualityIndex = 4;
    s.m_saveFrames = 1;
    s.Load(QString::fromStdString(dir.file("none.ini")));
    EXPECT_EQ(s.m_videoSizeIndex, 0);
    EXPECT_EQ(s.m_rotate, 0);
    EXPECT_EQ(s.m_convertAll, 1);
    EXPECT_EQ(s.m_saveMp3, 0);
    EXPECT_EQ(s.m_monitoring, 0);
    EXPECT_EQ(s.m_qualityIndex, 2);
    EXPECT_EQ(s.m_saveFrames, 0);
    s.DeriveConversionNumbers();
    EXPECT_EQ(s.m_videoWidth, 320);
    EXPECT_EQ(s.m_videoHeight, 240);
    EXPECT_EQ(s.m_jpegQuality, 80);
    EXPECT_EQ(s.m_frameRate, 16);
    EXPECT_EQ(s.m_formatVersion, 3);
}

TEST(ConversionSettingsTest, SixKeysRoundTripQualityIncluded) {
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("ZemConverter.ini"));
    ConversionSettings s;
    s.Load(path);
    s.m_videoSizeIndex = 5;
    s.m_rotate = 2;
    s.m_convertAll = 0;
    s.m_saveMp3 = 1;
    s.m_monitoring = 1;
    s.m_qualityIndex = 0;
    s.Save(path);

    std::ifstream in(path.toStdString());
    std::stringstream text;
    text << in.rdbuf();
    const std::string ini = text.str();
    EXPECT_NE(ini.find("[ZemConverter]"), std::string::npos) << ini;
    for (const char* line : {"VideoSize=5", "Rotate=2", "AllFlag=0", "SaveMp3=1", "Monitoring=1"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << " missing in\n" << ini;
    EXPECT_NE(ini.find("Quality=0"), std::string::npos) << ini;

    ConversionSettings again;
    again.Load(path);
    EXPECT_EQ(again.m_videoSizeIndex, 5);
    EXPECT_EQ(again.m_rotate, 2);
    EXPECT_EQ(again.m_convertAll, 0);
    EXPECT_EQ(again.m_saveMp3, 1);
    EXPECT_EQ(again.m_monitoring, 1);
    EXPECT_EQ(again.m_qualityIndex, 0);
    again.DeriveConversionNumbers();
    EXPECT_EQ(again.m_videoWidth, 208);
    EXPECT_EQ(again.m_videoHeight, 176);
    EXPECT_EQ(again.StoredWidth(), 176);
    EXPECT_EQ(again.StoredHeight(), 208);
}

TEST(ConversionSettingsTest, DerivedNumbersFollowTheTables) {
    ConversionSettings s;
    const int qualities[] = {95, 90, 80, 50, 50};
    for (int q = 0; q < 5; ++q) {
        s.m_qualityIndex = q;
        s.m_videoSizeIndex = 0;
        s.m_rotate = 0;
        s.DeriveConversionNumbers();
        EXPECT_EQ(s.m_jpegQuality, qualities[q]);
        EXPECT_EQ(s.m_frameRate, 16);
    }
    const std::pair<int, int> sizes[] = {{320, 240}, {96, 64},   {176, 128}, {128, 128},
                                         {160, 128}, {208, 176}, {176, 128}};
    for (int i = 0; i < 7; ++i) {
        s.m_videoSizeIndex = i;
        s.DeriveConversionNumbers();
        EXPECT_EQ(s.m_videoWidth, sizes[i].first) << i;
        EXPECT_EQ(s.m_videoHeight, sizes[i].second) << i;
    }
}

TEST(ConversionSettingsTest, HandEditedValuesOutsideTheTablesNeverReachTheEngine) {
    TempDir dir;
    const std::string path = dir.file("bad.ini");
    std::ofstream(path) << "[ZemConverter]\nVideoSize=9\nRotate=7\n";
    ConversionSettings s;
    s.Load(QString::fromStdString(path));
    EXPECT_EQ(s.m_videoSizeIndex, 9); // kept as read: the window shows no size checked
    s.DeriveConversionNumbers();
    EXPECT_EQ(s.m_videoWidth, 320);
    EXPECT_EQ(s.m_videoHeight, 240);
    EXPECT_EQ(s.m_rotate, 0);
    s.m_videoSizeIndex = -1; // no radio checked
    s.m_qualityIndex = -1;
    s.DeriveConversionNumbers();
    EXPECT_EQ(s.m_videoWidth, 320);
    EXPECT_EQ(s.m_jpegQuality, 80);
}

TEST(ConversionSettingsTest, ASettingsFileThatIsNotAFileIsRefusedAtOnceAndTheDefaultsTaken) {
    zem::test::TempDir dir;
    const std::string fifo = dir.file("ZemConverter.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const QString path = QString::fromStdString(fifo);
    EXPECT_EQ(zem::SettingsFileProblem(path), path + QStringLiteral(" is not a regular file"));
    EXPECT_EQ(zem::SettingsFileProblem(QString::fromStdString(dir.file("absent.ini"))), QString());
    zem::ConversionSettings settings;
    settings.m_videoSizeIndex = 4;
    settings.m_convertAll = 0;
    settings.Load(path); // with nobody writing to the FIFO, a read would wait for ever
    EXPECT_EQ(settings.m_videoSizeIndex, 0);
    EXPECT_EQ(settings.m_convertAll, 1);
}

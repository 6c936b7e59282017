// Start-up on a machine whose GStreamer has no plugins at all: the codec
// check names the packages to install and the window still opens.

#include "AppTestSupport.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

using apptest::WindowFixture;

TEST(NoCodecs, MessageNamesThePackagesAndTheWindowOpens) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    ASSERT_EQ(fixture.m_messages.size(), 1u);
    EXPECT_EQ(fixture.m_messages[0].text,
              QStringLiteral("Please... Install gstreamer1.0-plugins-good gstreamer1.0-plugins-bad "
                             "gstreamer1.0-libav gstreamer1.0-plugins-ugly"));
    EXPECT_EQ(fixture.m_messages[0].buttons(), MB_OK);
    EXPECT_EQ(window->m_subtitle, 1);
    window->show();
    EXPECT_TRUE(window->isVisible());
}

int main(int argc, char** argv) {
    // An empty plugin folder and a registry of its own: GStreamer finds nothing.
    QTemporaryDir scratch;
    QDir(scratch.path()).mkpath(QStringLiteral("plugins"));
    qputenv("GST_PLUGIN_SYSTEM_PATH_1_0", scratch.filePath(QStringLiteral("plugins")).toUtf8());
    qputenv("GST_PLUGIN_PATH_1_0", scratch.filePath(QStringLiteral("plugins")).toUtf8());
    qputenv("GST_REGISTRY_1_0", scratch.filePath(QStringLiteral("registry.bin")).toUtf8());
    qputenv("XDG_CONFIG_HOME", scratch.path().toUtf8());
    qputenv("LC_ALL", "en_US.UTF-8");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "AppTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace apptest {

WindowFixture::WindowFixture() {
    QDir(m_dir.path()).mkpath(QStringLiteral("app/Lang"));
    QDir(m_dir.path()).mkpath(QStringLiteral("app/Doc"));
    QDir(m_dir.path()).mkpath(QStringLiteral("data"));
    QDir(m_dir.path()).mkpath(QStringLiteral("registry"));
    m_previousMessageHook = SetMessageBoxHook([this](const std::string& text, const std::string&, int flags) {
        m_messages.push_back({QString::fromStdString(text), flags});
        return m_answer;
    });
    zem::app::SetFileDialogHandler([this](const zem::app::FileDialogRequest& request) {
        m_fileDialogs.push_back(request);
        return m_fileDialogAnswer;
    });
}

WindowFixture::~WindowFixture() {
    SetMessageBoxHook(std::move(m_previousMessageHook));
    zem::app::SetFileDialogHandler({});
}

CCompressorDlg::Environment WindowFixture::Environment() const {
    return {AppDir(), SettingsFile(), RegistryFolder()};
}

std::unique_ptr<CCompressorDlg> WindowFixture::MakeWindow() {
    return std::make_unique<CCompressorDlg>(Environment());
}

void WindowFixture::WriteLanguageFile(const QString& name, const QString& text) const {
    QFile file(QDir(AppDir()).filePath(QStringLiteral("Lang/") + name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

QString WindowFixture::TouchFile(const QString& name) const {
    const QString path = QDir(DataDir()).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    return path;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    m_had = qEnvironmentVariableIsSet(name);
    m_old = qgetenv(name);
    if (value)
        qputenv(name, value);
    else
        qunsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        qputenv(m_name.constData(), m_old);
    else
        qunsetenv(m_name.constData());
}

} // namespace apptest

#ifndef ZEM_TEST_OWN_MAIN
int main(int argc, char** argv) {
    // The window must never touch the user's own settings or registry.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("LC_ALL", "en_US.UTF-8");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
#endif

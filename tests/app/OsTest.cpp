// The registry store and the language names.

#include "RegistryStore.h"
#include "SystemLocale.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using zem::os::RegistryRoot;
using zem::os::RegistryStore;

TEST(RegistryStore, TypedValuesLiveInExistingKeysOnly) {
    QTemporaryDir dir;
    const RegistryStore store(dir.path());
    const QString key = QStringLiteral("Software\\Test\\Key\\");
    EXPECT_FALSE(store.WriteNumber(RegistryRoot::CurrentUser, key, "n", 1));
    EXPECT_FALSE(store.KeyExists(RegistryRoot::CurrentUser, key));
    ASSERT_TRUE(store.CreateKey(RegistryRoot::CurrentUser, key));

    const QByteArray bytes("\x00\x01\xff\n\t", 5);
    const QString text = QStringLiteral("a\tb\nc=d %20 ü");
    EXPECT_TRUE(store.WriteNumber(RegistryRoot::CurrentUser, key, "n", 0xfffffffeu));
    EXPECT_TRUE(store.WriteString(RegistryRoot::CurrentUser, key, QString(), text));
    EXPECT_TRUE(store.WriteBinary(RegistryRoot::CurrentUser, key, "b", bytes));
    EXPECT_TRUE(store.WriteNumber(RegistryRoot::CurrentUser, key, "n", 7)); // replaces

    const RegistryStore reopened(dir.path());
    EXPECT_EQ(reopened.ReadNumber(RegistryRoot::CurrentUser, key, "n"), 7u);
    EXPECT_EQ(reopened.ReadString(RegistryRoot::CurrentUser, key, QString()), text);
    EXPECT_EQ(reopened.ReadBinary(RegistryRoot::CurrentUser, key, "b"), bytes);
    // Wrong type, wrong root, missing name.
    EXPECT_FALSE(reopened.ReadString(RegistryRoot::CurrentUser, key, "n").has_value());
    EXPECT_FALSE(reopened.ReadNumber(RegistryRoot::LocalMachine, key, "n").has_value());
    EXPECT_FALSE(reopened.ReadNumber(RegistryRoot::CurrentUser, key, "missing").has_value());
    // Key paths cannot climb out of the store.
    EXPECT_FALSE(store.CreateKey(RegistryRoot::CurrentUser, QStringLiteral("..\\..\\escape\\")));
    EXPECT_TRUE(store.KeyFolder(RegistryRoot::CurrentUser, QStringLiteral("a/b")).isEmpty());
}

TEST(RegistryStore, AValuesFileThatIsAFifoHoldsNoValuesAndIsNotWaitedOn) {
    QTemporaryDir dir;
    const RegistryStore store(dir.path());
    const QString key = QStringLiteral("Software\\Test\\Fifo\\");
    ASSERT_TRUE(store.CreateKey(RegistryRoot::CurrentUser, key));
    const QString values = store.KeyFolder(RegistryRoot::CurrentUser, key) + QStringLiteral("/values.reg");
    ASSERT_EQ(::mkfifo(values.toLocal8Bit().constData(), 0600), 0);
    // Nobody writes to the FIFO: a read of it would wait for ever.
    EXPECT_FALSE(store.ReadNumber(RegistryRoot::CurrentUser, key, "n").has_value());
    EXPECT_FALSE(store.ReadString(RegistryRoot::CurrentUser, key, QString()).has_value());
}

TEST(SystemLocale, ThreeLetterLanguageNames) {
    using zem::os::LanguageAbbreviation;
    EXPECT_EQ(LanguageAbbreviation(QLocale(QStringLiteral("ko_KR.UTF-8"))), QStringLiteral("KOR"));
    EXPECT_EQ(LanguageAbbreviation(QLocale(QStringLiteral("en_GB"))), QStringLiteral("ENG"));
    EXPECT_EQ(LanguageAbbreviation(QLocale(QStringLiteral("zh_CN"))), QStringLiteral("CHS"));
    EXPECT_EQ(LanguageAbbreviation(QLocale(QStringLiteral("zh_SG"))), QStringLiteral("CHS"));
    EXPECT_EQ(LanguageAbbreviation(QLocale(QStringLiteral("zh_TW"))), QStringLiteral("CHT"));
    EXPECT_EQ(LanguageAbbreviation(QLocale(QStringLiteral("zh_HK"))), QStringLiteral("CHT"));
    EXPECT_EQ(LanguageAbbreviation(QLocale(QStringLiteral("fr_FR"))), QStringLiteral("FRA"));
}

// The rows' output names: the engine's rule for the default, and never two
// rows writing one file.

#include "AppTestSupport.h"

#include <QAbstractButton>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;

using apptest::WindowFixture;

TEST(OutputNames, RowsThatWouldShareAnOutputGetNumberedNames) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    ASSERT_EQ(window->AddFile(QStringLiteral("/v/clip.mp4")), 0);
    ASSERT_EQ(window->AddFile(QStringLiteral("/v/clip.mpg")), 1);
    ASSERT_EQ(window->AddFile(QStringLiteral("/v/clip.wmv")), 2);
    EXPECT_EQ(window->CellText(0, kColOutput), QStringLiteral("/v/clip_ZM.avi"));
    EXPECT_EQ(window->CellText(1, kColOutput), QStringLiteral("/v/clip(2)_ZM.avi"));
    EXPECT_EQ(window->CellText(2, kColOutput), QStringLiteral("/v/clip(3)_ZM.avi"));
    // A name in another folder is another file.
    ASSERT_EQ(window->AddFile(QStringLiteral("/w/clip.mkv")), 3);
    EXPECT_EQ(window->CellText(3, kColOutput), QStringLiteral("/w/clip_ZM.avi"));

    // Moving every row into one folder keeps them apart the same way.
    fixture.m_answer = IDYES;
    fixture.m_fileDialogAnswer = {QStringLiteral("/out/clip(2)_ZM.avi")};
    window->SelectRow(1);
    window->ControlAs<QAbstractButton>(IDC_CHANGE_OUTPUT)->click();
    QStringList outputs;
    for (int row = 0; row < 4; ++row)
        outputs << window->CellText(row, kColOutput);
    EXPECT_EQ(outputs, (QStringList{QStringLiteral("/out/clip_ZM.avi"), QStringLiteral("/out/clip(2)_ZM.avi"),
                                    QStringLiteral("/out/clip(3)_ZM.avi"), QStringLiteral("/out/clip(4)_ZM.avi")}));
}

TEST(OutputNames, TheDefaultCutsOnlyTheFileNamesEnding) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    ASSERT_EQ(window->AddFile(QStringLiteral("/home/u/my.videos/clipmpeg")), 0);
    EXPECT_EQ(window->CellText(0, kColOutput), QStringLiteral("/home/u/my.videos/clipmpeg_ZM.avi"));
    ASSERT_EQ(window->AddFile(QStringLiteral("/home/u/my.videos/film.part1.mkv")), 1);
    EXPECT_EQ(window->CellText(1, kColOutput), QStringLiteral("/home/u/my.videos/film.part1_ZM.avi"));
}

TEST(OutputNames, ChangeOutputRefusesANameAnotherRowWritesOrAnInput) {
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    const QString clip = fixture.TouchFile(QStringLiteral("clip.mp4"));
    const QString other = fixture.TouchFile(QStringLiteral("other.mkv"));
    ASSERT_EQ(window->AddFile(clip), 0);
    ASSERT_EQ(window->AddFile(other), 1);
    const QString first = window->CellText(0, kColOutput);
    const QString second = window->CellText(1, kColOutput);

    // Row 2 to the name row 1 writes: refused with a box that names both.
    fixture.m_answer = IDNO;
    fixture.m_messages.clear();
    fixture.m_fileDialogAnswer = {first};
    window->SelectRow(1);
    window->ControlAs<QAbstractButton>(IDC_CHANGE_OUTPUT)->click();
    EXPECT_EQ(window->CellText(1, kColOutput), second);
    ASSERT_EQ(fixture.m_messages.size(), 1u);
    EXPECT_TRUE(fixture.m_messages[0].text.contains(first)) << fixture.m_messages[0].text.toStdString();
    EXPECT_TRUE(fixture.m_messages[0].text.contains(clip)) << fixture.m_messages[0].text.toStdString();

    // The same file by another spelling of its path is the same file.
    fixture.m_messages.clear();
    fixture.m_fileDialogAnswer = {fixture.DataDir() + QStringLiteral("/./clip_ZM.avi")};
    window->ControlAs<QAbstractButton>(IDC_CHANGE_OUTPUT)->click();
    EXPECT_EQ(window->CellText(1, kColOutput), second);
    EXPECT_EQ(fixture.m_messages.size(), 1u);

    // An input of the list (here row 1's) is never an output.
    fixture.m_messages.clear();
    fixture.m_fileDialogAnswer = {clip};
    window->ControlAs<QAbstractButton>(IDC_CHANGE_OUTPUT)->click();
    EXPECT_EQ(window->CellText(1, kColOutput), second);
    ASSERT_EQ(fixture.m_messages.size(), 1u);
    EXPECT_TRUE(fixture.m_messages[0].text.contains(QStringLiteral("input")))
        << fixture.m_messages[0].text.toStdString();

    // A free name is taken.
    fixture.m_messages.clear();
    const QString free = fixture.DataDir() + QStringLiteral("/free.avi");
    fixture.m_fileDialogAnswer = {free};
    window->ControlAs<QAbstractButton>(IDC_CHANGE_OUTPUT)->click();
    EXPECT_EQ(window->CellText(1, kColOutput), free);
}

TEST(OutputNames, TheLanguageFileWordsTheRefusal) {
    WindowFixture fixture;
    fixture.WriteLanguageFile(QStringLiteral("ENG.ini"),
                              QStringLiteral("[ZemConverter]\n{output} is already the output of {input}: choose "
                                             "another name=출력 {output} 입력 {input}\n"));
    apptest::ScopedEnv english("LC_ALL", "en_US.UTF-8");
    auto window = fixture.MakeWindow();
    window->show();
    ASSERT_EQ(window->AddFile(QStringLiteral("/v/a.mp4")), 0);
    ASSERT_EQ(window->AddFile(QStringLiteral("/v/b.mp4")), 1);
    fixture.m_fileDialogAnswer = {QStringLiteral("/v/a_ZM.avi")};
    window->SelectRow(1);
    fixture.m_messages.clear(); // the made-up files could not be opened
    window->ControlAs<QAbstractButton>(IDC_CHANGE_OUTPUT)->click();
    ASSERT_EQ(fixture.m_messages.size(), 1u);
    EXPECT_EQ(fixture.m_messages[0].text, QStringLiteral("출력 /v/a_ZM.avi 입력 /v/a.mp4"));
}

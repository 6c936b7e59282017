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

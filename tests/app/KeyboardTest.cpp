// The window by keyboard alone, driven by key events: Tab's order, the list as
// one stop, Enter and the arrows in it, Alt+letter on the buttons; the
// transport row, which has nothing to act on until a file is open; and no
// single key that ends a conversion.

#include "AppTestSupport.h"
#include "ConversionPaths.h"
#include "DlgTexts.h"
#include "GraphState.h"
#include "TestClips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using enum zem::app::ControlId;
using enum zem::app::FileListColumn;
using apptest::Path;
using apptest::ScopedEnv;
using apptest::WindowFixture;
namespace fs = std::filesystem;

namespace {

constexpr int kTransport[] = {IDC_POSITION_SLIDER, IDC_PLAY,          IDC_PAUSE,          IDC_STOP, IDC_FRAME_STEP,
                              IDC_SELECTION_START, IDC_SELECTION_END, IDC_CLEAR_SELECTION};

int FocusId() {
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName().toInt() : 0;
}

} // namespace

TEST(Keyboard, TransportWaitsForAFile) {
    zem::testclips::TempDir clips;
    const fs::path clip = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    ASSERT_FALSE(clip.empty());
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    for (const int id : kTransport)
        EXPECT_FALSE(window->Control(id)->isEnabled()) << "at start: " << id;
    EXPECT_TRUE(window->Control(IDC_MUTE)->isEnabled());

    ASSERT_EQ(window->AddFile(Path(clip)), 0);
    for (const int id : {IDC_PLAY, IDC_PAUSE, IDC_STOP, IDC_SELECTION_START, IDC_POSITION_SLIDER})
        EXPECT_TRUE(window->Control(id)->isEnabled()) << "with a file: " << id;

    window->ControlAs<QAbstractButton>(IDC_DELETE_ALL)->click();
    for (const int id : kTransport)
        EXPECT_FALSE(window->Control(id)->isEnabled()) << "after Delete All: " << id;
}

TEST(Keyboard, TabVisitsEveryControlOnceAndTheListIsOneStop) {
    zem::testclips::TempDir clips;
    const fs::path first = zem::testclips::MakeClip(clips.path(), "mp4", 1.0);
    const fs::path second = zem::testclips::MakeClip(clips.path(), "mkv", 1.0);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    WindowFixture fixture;
    auto window = fixture.MakeWindow();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_EQ(window->AddFile(Path(first)), 0);
    ASSERT_EQ(window->AddFile(Path(second)), 1);
    window->SelectRow(0);

    window->Control(IDC_ADD)->setFocus();
    QList<int> order{FocusId()};
    for (int press = 0; press < 80; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (FocusId() == IDC_ADD)
            break;
        order.append(FocusId());
    }
    ASSERT_EQ(FocusId(), IDC_ADD) << "Tab never came back to Add";
    QStringList visited;
    for (const int id : order)
        visited << QString::number(id);
    SCOPED_TRACE(visited.join(QLatin1Char(' ')).toStdString());
    // Reading order: the list's buttons, the list (once), the transport, the
    // option groups (one stop each: the arrows choose within a group), Convert and Stop.
    const QList<QList<int>> expected{
        {IDC_ADD},
        {IDC_CHANGE_OUTPUT},
        {IDC_DELETE},
        {IDC_DELETE_ALL},
        {IDC_HELP},
        {IDC_FILE_LIST},
        {IDC_POSITION_SLIDER},
        {IDC_PLAY},
        {IDC_PAUSE},
        {IDC_STOP},
        {IDC_MUTE},
        {IDC_SELECTION_START},
        {IDC_SELECTION_END},
        {IDC_CLEAR_SELECTION},
        {IDC_QUALITY_HD, IDC_QUALITY_HIGH_FRAME, IDC_QUALITY_STANDARD, IDC_QUALITY_MIDDLE, IDC_QUALITY_LOW},
        {IDC_SELECTED_FILE, IDC_ALL_FILES},
        {IDC_MONITORING},
        {IDC_SIZE_96, IDC_SIZE_128, IDC_SIZE_160, IDC_SIZE_176, IDC_SIZE_208, IDC_SIZE_320},
        {IDC_ROTATE_NONE, IDC_ROTATE_LEFT, IDC_ROTATE_RIGHT},
        {IDC_CONVERT},
        {IDC_STOP_CONVERSION}};
    qsizetype at = -1;
    for (const QList<int>& stop : expected) {
        qsizetype found = -1;
        int visits = 0;
        for (const int id : stop) {
            if (order.contains(id)) {
                found = order.indexOf(id);
                ++visits;
            }
        }
        EXPECT_EQ(visits, 1) << "stop of control " << stop.front();
        EXPECT_GT(found, at) << "control " << stop.front() << " out of order";
        at = std::max(at, found);
    }
    for (const int id : order)
        EXPECT_EQ(order.count(id), 1) << "control " << id << " visited twice";
    // Passing through the list did not move its selection.
    EXPECT_EQ(window->GetSelectedRow(), 0);

    // In the list the arrows walk the rows and Enter plays the row.
    window->FileList()->setFocus();
    QTest::keyClick(window->FileList(), Qt::Key_Down);
    EXPECT_EQ(window->GetSelectedRow(), 1);
    EXPECT_EQ(window->m_inputFile, Path(second));
    QTest::keyClick(window->FileList(), Qt::Key_Return);
    EXPECT_TRUE(window->isVisible()) << "Enter in the list closed the window";
    EXPECT_EQ(g_playState, kPlayRunning);
    EXPECT_NE(window->m_timerId, 0);
    window->OnStop();
}

TEST(Keyboard, EveryPushButtonHasAnAltLetterInEveryLanguage) {
    EXPECT_EQ(CCompressorDlg::WithMnemonic(QStringLiteral("Add ..."), 'A'), QStringLiteral("&Add ..."));
    EXPECT_EQ(CCompressorDlg::WithMnemonic(QStringLiteral("Change Output ..."), 'O'),
              QStringLiteral("Change &Output ..."));
    EXPECT_EQ(CCompressorDlg::WithMnemonic(QStringLiteral("추가 ..."), 'A'), QStringLiteral("추가(&A) ..."));
    EXPECT_EQ(CCompressorDlg::WithMnemonic(QStringLiteral("变换"), 'C'), QStringLiteral("变换(&C)"));
    EXPECT_EQ(CCompressorDlg::WithMnemonic(QStringLiteral("&Go"), 'A'), QStringLiteral("&Go"));

    for (const char* locale : {"ko_KR.UTF-8", "en_US.UTF-8", "zh_CN.UTF-8", "zh_TW.UTF-8"}) {
        apptest::ScopedEnv scoped("LC_ALL", locale);
        WindowFixture fixture;
        CCompressorDlg::Environment environment = fixture.Environment();
        environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
        CCompressorDlg window(environment);
        QStringList letters;
        for (const int id :
             {IDC_ADD, IDC_CHANGE_OUTPUT, IDC_DELETE, IDC_DELETE_ALL, IDC_HELP, IDC_CONVERT, IDC_STOP_CONVERSION}) {
            const QString text = window.ControlAs<QAbstractButton>(id)->text();
            const qsizetype amp = text.indexOf(QLatin1Char('&'));
            ASSERT_GE(amp, 0) << locale << " " << text.toStdString();
            letters << text.mid(amp + 1, 1).toUpper();
        }
        // No two buttons share a letter.
        EXPECT_EQ(QSet<QString>(letters.begin(), letters.end()).size(), letters.size()) << locale;

        // Alt+A opens the open dialog, as a click on Add does.
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        fixture.m_fileDialogAnswer.clear();
        QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
        // The button shows its press for a moment before it acts.
        EXPECT_TRUE(QTest::qWaitFor([&] { return fixture.m_fileDialogs.size() == 1u; }, 2000)) << locale;
        window.close();
    }
}

TEST(Keyboard, NoKeyEndsAConversionAndClosingAsksOnceInTheUsersLanguage) {
    ScopedEnv locale("LC_ALL", "ko_KR.UTF-8");
    zem::testclips::TempDir clips;
    const fs::path clip =
        zem::testclips::MakeClip(clips.path(), "mp4", 30.0, 320, 240, 25, zem::testclips::Pattern::Moving);
    ASSERT_FALSE(clip.empty());
    WindowFixture fixture;
    CCompressorDlg::Environment environment = fixture.Environment();
    environment.appDir = QStringLiteral(ZEM_SOURCE_DIR);
    auto window = std::make_unique<CCompressorDlg>(environment);
    window->show();
    ASSERT_EQ(window->AddFile(Path(clip)), 0);
    window->ControlAs<QAbstractButton>(IDC_SELECTED_FILE)->click();
    window->ControlAs<QAbstractButton>(IDC_SIZE_160)->click();
    // An earlier output of the same name stays, also after the user agrees to stop.
    const QString output = window->CellText(0, kColOutput);
    const QByteArray earlier("an earlier output");
    {
        QFile file(output);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(earlier);
    }
    const auto outputBytes = [&] {
        QFile file(output);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };

    bool pressed = false;
    size_t boxesAfterNo = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (pressed || !window->Run().converting() || window->Run().Position() <= 0)
            return;
        pressed = true;
        // Everything else is off, so the focus rests on Stop: Enter must not press it.
        window->Control(IDC_STOP_CONVERSION)->setFocus();
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
            QTest::keyClick(window.get(), key);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->Run().converting());
        EXPECT_TRUE(fixture.m_messages.empty());
        // Asked, and answered No: the job goes on.
        fixture.m_answer = IDNO;
        window->close();
        boxesAfterNo = fixture.m_messages.size();
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->Run().converting());
        EXPECT_EQ(outputBytes(), earlier);
        fixture.m_answer = IDYES;
        window->close();
    });
    watch.start(20);
    window->ControlAs<QAbstractButton>(IDC_CONVERT)->click();
    watch.stop();

    ASSERT_TRUE(pressed) << "the job ended before the keys were pressed";
    EXPECT_EQ(boxesAfterNo, 1u);
    ASSERT_EQ(fixture.m_messages.size(), 2u);
    for (const apptest::ShownMessage& box : fixture.m_messages) {
        EXPECT_EQ(box.text, window->Translate(QString::fromLatin1(zem::app::kTextStopAndQuit)));
        EXPECT_TRUE(box.text.startsWith(QStringLiteral("변환을 멈추고 끝낼까요?")));
        EXPECT_EQ(box.buttons(), MB_YESNO);
    }
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Run().converting());
    EXPECT_EQ(window->CellText(0, kColStatus), window->Translate(QStringLiteral("Stopped")));
    // The earlier output stays; the stopped part is beside it.
    EXPECT_EQ(outputBytes(), earlier);
    QFile part(QString::fromStdString(zem::StoppedOutputPath(output.toStdString())));
    ASSERT_TRUE(part.open(QIODevice::ReadOnly));
    EXPECT_TRUE(part.readAll().startsWith("RIFF"));
}

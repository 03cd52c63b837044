// Pictures of the main window with one entry converting, one succeeded and
// one failed, in English and in Chinese, kept in the build tree.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QTableWidget>
#include <QTest>

#include "converter/app/window/about_dialog.h"
#include "converter/app/window/cancel_dialog.h"
#include "converter/app/window/options_dialog.h"
#include "window_test_support.h"

using vidorra::MainWindow;
using vidorra::UiLanguage;
using windowtest::CellText;

namespace {

constexpr int kWaitMs = 30000;

void TakeScreenshot(UiLanguage language, const QString& fileName, const QString& succeeded, const QString& failed,
                    const QString& converting) {
    windowtest::EnsureApplication(windowtest::Platform::DisplayWhenAvailable);
    windowtest::ScriptedPrompts prompts;
    windowtest::Recordings recordings;
    const QStringList sources{recordings.Small("cam1_0800.mpg"), recordings.NotARecording("cam2_0800.mpg"),
                              recordings.Large("cam3_0800.mpg")};
    MainWindow window(language, prompts, vidorra::LibraryPlayerInterface());
    window.findChild<QCheckBox*>("useSourcePathBox")->setChecked(false);
    prompts.folders.push_back(recordings.OutputFolder());
    window.OnPath();
    window.AddSourceFiles(sources);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.OnStart();
    // Hold the third job once it has made progress, so it shows as running.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return CellText(window, 2, MainWindow::kStatusColumn) == converting && window.Worker().ProducedFrames() > 0; },
        kWaitMs));
    window.OnPause();
    QTest::qWait(300);
    EXPECT_EQ(CellText(window, 0, MainWindow::kStatusColumn), succeeded);
    EXPECT_EQ(CellText(window, 1, MainWindow::kStatusColumn), failed);
    EXPECT_EQ(CellText(window, 2, MainWindow::kStatusColumn), converting);

    const QImage image = window.grab().toImage();
    ASSERT_FALSE(image.isNull());
    QDir().mkpath(QOR_WINDOW_SCREENSHOT_DIR);
    const QString path = QDir(QOR_WINDOW_SCREENSHOT_DIR).filePath(fileName);
    ASSERT_TRUE(image.save(path)) << path.toStdString();
    // Not one flat colour: the window drew its contents.
    EXPECT_NE(image.pixel(10, 10), image.pixel(image.width() / 2, image.height() / 2));
    window.close();
}

}  // namespace

TEST(MainWindowScreenshot, EnglishWithThreeOutcomes) {
    TakeScreenshot(UiLanguage::English, "main_window_en.png", "succeeded", "failed", "converting");
}

TEST(MainWindowScreenshot, ChineseWithThreeOutcomes) {
    TakeScreenshot(UiLanguage::Chinese, "main_window_zh.png", QString::fromUtf8("成功"), QString::fromUtf8("失败"),
                   QString::fromUtf8("转换中..."));
}

TEST(MainWindowScreenshot, DialogsInBothLanguages) {
    windowtest::EnsureApplication(windowtest::Platform::DisplayWhenAvailable);
    QDir().mkpath(QOR_WINDOW_SCREENSHOT_DIR);
    const QDir folder(QOR_WINDOW_SCREENSHOT_DIR);
    for (const auto& [language, suffix] : {std::pair{UiLanguage::English, "en"}, std::pair{UiLanguage::Chinese, "zh"}}) {
        vidorra::OptionsDialog options(language);
        options.SetChoices(2, 0);
        vidorra::CancelDialog cancel(language);
        cancel.SetChoice(vidorra::CancelDialog::kCancelAllFiles);
        vidorra::AboutDialog about(language);
        const std::pair<QDialog*, QString> dialogs[] = {
            {&options, "options"}, {&cancel, "cancel"}, {&about, "about"}};
        for (const auto& [dialog, name] : dialogs) {
            dialog->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
            const QString path = folder.filePath(QString("%1_dialog_%2.png").arg(name, suffix));
            EXPECT_TRUE(dialog->grab().save(path)) << path.toStdString();
            dialog->hide();
        }
    }
}

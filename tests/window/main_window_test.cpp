// The main window's commands and texts without a conversion running.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include "converter/app/window/about_dialog.h"
#include "converter/app/window/options_dialog.h"
#include "converter/app/window/window_language.h"
#include "window_test_support.h"

using vidorra::MainWindow;
using vidorra::UiLanguage;
using windowtest::CellText;
using windowtest::Enabled;
using windowtest::WidgetText;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { windowtest::EnsureApplication(); }

    std::unique_ptr<MainWindow> Make(UiLanguage language = UiLanguage::English) {
        return std::make_unique<MainWindow>(language, prompts, vidorra::LibraryPlayerInterface());
    }

    windowtest::ScriptedPrompts prompts;
};

QStringList HeaderTexts(const MainWindow& window) {
    QStringList texts;
    for (int column = 0; column < window.List()->columnCount(); ++column) {
        texts.push_back(window.List()->horizontalHeaderItem(column)->text());
    }
    return texts;
}

}  // namespace

TEST_F(MainWindowTest, StartsIdleWithTheGoodRow) {
    auto window = Make();
    EXPECT_EQ(window->windowTitle(), "Brennix Vidorra");
    EXPECT_EQ(WidgetText(*window, "filterText"), "Filter: no filter");
    EXPECT_EQ(WidgetText(*window, "qualityText"), "Video Quality: good");
    EXPECT_EQ(WidgetText(*window, "targetText"), "Target Path: ");
    EXPECT_EQ(WidgetText(*window, "percentText"), "0");
    EXPECT_EQ(WidgetText(*window, "cancelButton"), "Cancel ");
    EXPECT_EQ(HeaderTexts(*window), (QStringList{"File NO", "Status", "File Path", "Message"}));
    EXPECT_TRUE(window->findChild<QCheckBox*>("useSourcePathBox")->isChecked());
    for (const char* name : {"fileButton", "startButton", "deleteButton", "optionsButton"}) {
        EXPECT_TRUE(Enabled(*window, name)) << name;
    }
    for (const char* name : {"pathButton", "pauseButton", "cancelButton"}) EXPECT_FALSE(Enabled(*window, name)) << name;
    // The job must get the row the window shows, not a hidden other one.
    const vidorra::ConversionSettings settings = window->CurrentSettings();
    EXPECT_EQ(settings.qualityLevel, 2);
    EXPECT_FLOAT_EQ(settings.bitrateFactor, 1.0f);
    EXPECT_EQ(settings.presetIndex, 4);
}

TEST_F(MainWindowTest, ChineseTextsAreTranslatedPartByPart) {
    auto window = Make(UiLanguage::Chinese);
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Brennix Vidorra 录像转换"));
    EXPECT_EQ(HeaderTexts(*window), (QStringList{QString::fromUtf8("序号"), QString::fromUtf8("状态"),
                                                 QString::fromUtf8("录像文件路径"), QString::fromUtf8("信息")}));
    EXPECT_EQ(WidgetText(*window, "cancelButton"), QString::fromUtf8("取消转换"));
    EXPECT_EQ(WidgetText(*window, "filterText"), QString::fromUtf8("滤波：不滤波"));
    EXPECT_EQ(WidgetText(*window, "qualityText"), QString::fromUtf8("图像质量：良好"));
    EXPECT_EQ(window->List()->columnWidth(MainWindow::kNumberColumn), 50);
    EXPECT_EQ(window->List()->columnWidth(MainWindow::kPathColumn), 450);
    // The path is appended as it is; alone through the table it would be "???".
    prompts.files.push_back(QStringList{"/rec/day1/cam1.mpg"});
    window->OnFile();
    EXPECT_EQ(WidgetText(*window, "targetText"), QString::fromUtf8("目标路径：/rec/day1"));
    EXPECT_EQ(vidorra::WindowText("/rec/day1", UiLanguage::Chinese), "???");
    EXPECT_EQ(window->menuBar()->actions().front()->text(), QString::fromUtf8("关于 Vidorra"));
}

TEST_F(MainWindowTest, StartRefusals) {
    struct Case {
        const char* name;
        QStringList files;
        bool uncheckAll;
        bool useSourcePath;
        std::vector<QString> expectedMessages;
        int expectedFolderDialogs;
    };
    const Case cases[] = {
        {"empty list", {}, false, true, {"No files are selected to convert!\n"}, 0},
        {"nothing checked", {"/rec/a.mpg", "/rec/b.mpg"}, true, true, {"No files are selected to convert!\n"}, 0},
        {"no target, folder dialog cancelled", {"/rec/a.mpg"}, false, false,
         {"Please select the destination path!\n"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts = {};
        auto window = Make();
        window->findChild<QCheckBox*>("useSourcePathBox")->setChecked(c.useSourcePath);
        window->AddSourceFiles(c.files);
        if (c.uncheckAll) {
            for (int row = 0; row < window->List()->rowCount(); ++row) {
                window->List()->item(row, MainWindow::kNumberColumn)->setCheckState(Qt::Unchecked);
            }
        }
        QTest::mouseClick(window->findChild<QPushButton*>("startButton"), Qt::LeftButton);
        EXPECT_EQ(prompts.messages, c.expectedMessages);
        EXPECT_EQ(prompts.folderDialogs, c.expectedFolderDialogs);
        EXPECT_FALSE(window->Control().converting.load());
        EXPECT_TRUE(Enabled(*window, "startButton"));
    }
}

TEST_F(MainWindowTest, NumbersNewEntriesFromTheCountBefore) {
    auto window = Make();
    prompts.files.push_back(QStringList{"/rec/a.mpg", "/rec/b.mpg"});
    prompts.files.push_back(QStringList{"/other/c.mpg", "/other/d.mpg", "/other/e.mpg"});
    window->OnFile();
    window->OnFile();
    ASSERT_EQ(window->List()->rowCount(), 5);
    const QStringList numbers{"0", "1", "2", "3", "4"};
    const QStringList paths{"/rec/a.mpg", "/rec/b.mpg", "/other/c.mpg", "/other/d.mpg", "/other/e.mpg"};
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(CellText(*window, row, MainWindow::kNumberColumn), numbers[row]);
        EXPECT_EQ(CellText(*window, row, MainWindow::kPathColumn), paths[row]);
        EXPECT_EQ(window->List()->item(row, MainWindow::kNumberColumn)->checkState(), Qt::Checked);
        EXPECT_EQ(CellText(*window, row, MainWindow::kStatusColumn), "");
    }
    EXPECT_EQ(prompts.fileDialogTitles.front(), "Open Source File...");
    // With the source path in use, the last files chosen decide the target.
    EXPECT_EQ(window->TargetPath(), "/other");
}

TEST_F(MainWindowTest, CancelledFileDialogAddsNothing) {
    auto window = Make();
    window->OnFile();
    EXPECT_EQ(window->List()->rowCount(), 0);
    EXPECT_EQ(window->TargetPath(), "");
}

TEST_F(MainWindowTest, UseSourcePathBoxControlsThePathButton) {
    auto window = Make();
    prompts.files.push_back(QStringList{"/rec/a.mpg"});
    window->OnFile();
    auto* box = window->findChild<QCheckBox*>("useSourcePathBox");
    box->setChecked(false);
    EXPECT_TRUE(Enabled(*window, "pathButton"));
    EXPECT_EQ(window->TargetPath(), "/rec");
    // With the box off new files leave the target alone.
    prompts.files.push_back(QStringList{"/other/b.mpg"});
    window->OnFile();
    EXPECT_EQ(window->TargetPath(), "/rec");
    prompts.folders.push_back("/avi");
    QTest::mouseClick(window->findChild<QPushButton*>("pathButton"), Qt::LeftButton);
    EXPECT_EQ(window->TargetPath(), "/avi");
    EXPECT_EQ(WidgetText(*window, "targetText"), "Target Path: /avi");
    // A cancelled folder dialog empties the target.
    window->OnPath();
    EXPECT_EQ(window->TargetPath(), "");
    box->setChecked(true);
    EXPECT_FALSE(Enabled(*window, "pathButton"));
}

TEST_F(MainWindowTest, DeleteRemovesTheSelectedEntryAndKeepsNumbers) {
    auto window = Make();
    window->AddSourceFiles({"/rec/a.mpg", "/rec/b.mpg", "/rec/c.mpg"});
    window->OnDelete();  // nothing selected
    EXPECT_EQ(window->List()->rowCount(), 3);
    window->List()->selectRow(1);
    window->OnDelete();
    ASSERT_EQ(window->List()->rowCount(), 2);
    EXPECT_EQ(CellText(*window, 0, MainWindow::kNumberColumn), "0");
    EXPECT_EQ(CellText(*window, 1, MainWindow::kNumberColumn), "2");
    EXPECT_EQ(CellText(*window, 1, MainWindow::kPathColumn), "/rec/c.mpg");
}

TEST_F(MainWindowTest, OptionsConfirmedChangeTextsAndSettings) {
    auto window = Make();
    int openedQuality = -2;
    int openedFilter = -2;
    prompts.options = [&](vidorra::OptionsDialog& dialog) {
        openedQuality = dialog.Quality();
        openedFilter = dialog.Filter();
        dialog.SetChoices(4, 1);
        return true;
    };
    QTest::mouseClick(window->findChild<QPushButton*>("optionsButton"), Qt::LeftButton);
    EXPECT_EQ(openedQuality, 2);
    EXPECT_EQ(openedFilter, 0);
    EXPECT_EQ(WidgetText(*window, "qualityText"), "Video Quality: best");
    EXPECT_EQ(WidgetText(*window, "filterText"), "Filter: simple");
    EXPECT_FLOAT_EQ(window->CurrentSettings().bitrateFactor, 1.5f);
    EXPECT_EQ(window->CurrentSettings().presetIndex, 6);

    // Cancel keeps everything.
    prompts.options = [](vidorra::OptionsDialog& dialog) {
        dialog.SetChoices(0, 2);
        return false;
    };
    window->OnOptions();
    EXPECT_EQ(WidgetText(*window, "qualityText"), "Video Quality: best");
    EXPECT_EQ(window->CurrentSettings().qualityLevel, 4);
}

TEST_F(MainWindowTest, PercentAboveHundredIsShown) {
    auto window = Make();
    window->Worker().SetCountersForTest(52, 50);
    window->Tick();
    EXPECT_EQ(WidgetText(*window, "percentText"), "104");
    EXPECT_EQ(window->findChild<QProgressBar*>("progressBar")->value(), 100);
    window->Worker().SetCountersForTest(17, 50);
    window->Tick();
    EXPECT_EQ(WidgetText(*window, "percentText"), "34");
    // No total: the display stays.
    window->Worker().SetCountersForTest(5, 0);
    window->Tick();
    EXPECT_EQ(WidgetText(*window, "percentText"), "34");
}

TEST_F(MainWindowTest, DroppedFilesAreAddedLikeFile) {
    windowtest::Recordings recordings;
    const QString a = recordings.NotARecording("a.mpg");
    const QString b = recordings.NotARecording("b.mpg");
    auto window = Make();
    window->AddSourceFiles({"/rec/first.mpg"});
    QMimeData data;
    // A folder in the drop is not a file to convert.
    data.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(recordings.Folder()), QUrl::fromLocalFile(b)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    ASSERT_EQ(window->List()->rowCount(), 3);
    EXPECT_EQ(CellText(*window, 1, MainWindow::kNumberColumn), "1");
    EXPECT_EQ(CellText(*window, 1, MainWindow::kPathColumn), QFileInfo(a).absoluteFilePath());
    EXPECT_EQ(CellText(*window, 2, MainWindow::kPathColumn), QFileInfo(b).absoluteFilePath());
    EXPECT_EQ(window->TargetPath(), QFileInfo(a).absolutePath());
}

TEST_F(MainWindowTest, AboutEntryOpensTheAboutBox) {
    auto window = Make();
    QString title;
    prompts.about = [&](vidorra::AboutDialog& dialog) { title = dialog.windowTitle(); };
    window->findChild<QAction*>("aboutAction")->trigger();
    EXPECT_EQ(prompts.aboutShown, 1);
    EXPECT_EQ(title, "About Vidorra");
}

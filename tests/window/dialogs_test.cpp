// The options, cancel and about dialogs, and the texts they show.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>

#include "converter/app/window/about_dialog.h"
#include "converter/app/window/cancel_dialog.h"
#include "converter/app/window/options_dialog.h"
#include "converter/app/window/window_language.h"
#include "window_test_support.h"

using vidorra::UiLanguage;

namespace {

QStringList RadioTexts(const QDialog& dialog) {
    QStringList texts;
    for (const QRadioButton* radio : dialog.findChildren<QRadioButton*>()) texts.push_back(radio->text());
    return texts;
}

}  // namespace

TEST(OptionsDialog, ChineseOkShowsConfirmNotSettings) {
    windowtest::EnsureApplication();
    vidorra::OptionsDialog dialog(UiLanguage::Chinese);
    EXPECT_EQ(dialog.OkButton()->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(dialog.CancelButton()->text(), QString::fromUtf8("取消"));
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("选项"));
    EXPECT_EQ(dialog.findChild<QGroupBox*>("qualityGroup")->title(), QString::fromUtf8("图像质量"));
    EXPECT_EQ(dialog.findChild<QGroupBox*>("filterGroup")->title(), QString::fromUtf8("图像滤波"));
    const QStringList radios = RadioTexts(dialog);
    ASSERT_EQ(radios.size(), 8);
    EXPECT_EQ(radios[2], QString::fromUtf8("良好"));
    EXPECT_FALSE(radios.contains("???"));
}

TEST(OptionsDialog, EnglishTextsAreTheKeys) {
    windowtest::EnsureApplication();
    vidorra::OptionsDialog dialog(UiLanguage::English);
    EXPECT_EQ(dialog.windowTitle(), "Options");
    EXPECT_EQ(dialog.OkButton()->text(), "OK");
    EXPECT_EQ(RadioTexts(dialog), (QStringList{"limited", "normal", "good", "better", "best", "no filter", "simple",
                                               "advanced"}));
}

TEST(OptionsDialog, ChoicesAreUnsetUntilTheCallerSetsThem) {
    windowtest::EnsureApplication();
    vidorra::OptionsDialog dialog(UiLanguage::English);
    EXPECT_EQ(dialog.Quality(), -1);
    EXPECT_EQ(dialog.Filter(), -1);
    dialog.SetChoices(4, 1);
    EXPECT_EQ(dialog.Quality(), 4);
    EXPECT_EQ(dialog.Filter(), 1);
    // The user's click is what the dialog returns.
    QTest::mouseClick(dialog.findChildren<QRadioButton*>()[0], Qt::LeftButton);
    EXPECT_EQ(dialog.Quality(), 0);
    EXPECT_EQ(dialog.Filter(), 1);
}

TEST(OptionsDialog, OkAcceptsAndCancelRejects) {
    windowtest::EnsureApplication();
    for (const bool ok : {true, false}) {
        vidorra::OptionsDialog dialog(UiLanguage::English);
        dialog.show();
        QTest::mouseClick(ok ? dialog.OkButton() : dialog.CancelButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected) << ok;
    }
}

TEST(CancelDialog, ShowsBothChoicesAndReturnsTheSetOne) {
    windowtest::EnsureApplication();
    vidorra::CancelDialog dialog(UiLanguage::English);
    EXPECT_EQ(dialog.windowTitle(), "Cancel");
    EXPECT_EQ(RadioTexts(dialog), (QStringList{"Cancel current file", "Cancel all files"}));
    EXPECT_EQ(dialog.Choice(), -1);
    dialog.SetChoice(vidorra::CancelDialog::kCancelAllFiles);
    EXPECT_EQ(dialog.Choice(), 1);
    QTest::mouseClick(dialog.findChildren<QRadioButton*>()[0], Qt::LeftButton);
    EXPECT_EQ(dialog.Choice(), vidorra::CancelDialog::kCancelCurrentFile);
}

TEST(CancelDialog, ChineseTexts) {
    windowtest::EnsureApplication();
    vidorra::CancelDialog dialog(UiLanguage::Chinese);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("取消"));
    EXPECT_EQ(RadioTexts(dialog), (QStringList{QString::fromUtf8("取消当前文件"), QString::fromUtf8("取消所有文件")}));
    EXPECT_EQ(dialog.OkButton()->text(), QString::fromUtf8("确定"));
}

TEST(AboutDialog, ShowsVersionAndOwnershipInBothLanguages) {
    windowtest::EnsureApplication();
    struct Case {
        UiLanguage language;
        const char* title;
        const char* ok;
    };
    for (const Case& c : {Case{UiLanguage::English, "About Vidorra", "OK"},
                          Case{UiLanguage::Chinese, "关于 Vidorra", "确定"}}) {
        vidorra::AboutDialog dialog(c.language);
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(c.title));
        EXPECT_EQ(dialog.OkButton()->text(), QString::fromUtf8(c.ok));
        EXPECT_EQ(dialog.findChild<QLabel*>("versionLine")->text(), "Vidorra 1.6 Beta");
        const QString ownership = dialog.findChild<QLabel*>("ownershipLine")->text();
        EXPECT_FALSE(ownership.isEmpty());
        EXPECT_NE(ownership, "???");
    }
}

TEST(WindowText, PathInChineseBecomesQuestionMarks) {
    EXPECT_EQ(vidorra::WindowText("/home/rec/cam1.mpg", UiLanguage::Chinese), "???");
    EXPECT_EQ(vidorra::WindowText("/home/rec/cam1.mpg", UiLanguage::English), "/home/rec/cam1.mpg");
    EXPECT_EQ(vidorra::WindowText("converting", UiLanguage::Chinese), QString::fromUtf8("转换中..."));
}

TEST(WindowText, LanguageOverrideFromTheEnvironment) {
    struct Case {
        const char* value;
        UiLanguage expected;
    };
    for (const Case& c : {Case{"zh", UiLanguage::Chinese}, Case{"zh_CN.UTF-8", UiLanguage::Chinese},
                          Case{"en", UiLanguage::English}}) {
        ::setenv("VIDORRA_LANG", c.value, 1);
        EXPECT_EQ(vidorra::SystemUiLanguage(), c.expected) << c.value;
    }
    ::unsetenv("VIDORRA_LANG");
}

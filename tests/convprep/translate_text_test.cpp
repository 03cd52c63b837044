#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "converter/app/translate_text.h"

namespace vidorra {
namespace {

TEST(TranslateText, TableHoldsTheWindowKeysInOrderThenTheTargetFileFailures) {
    const std::vector<std::string_view> keys = {
        "File NO", "Status", "File Path", "Message", "Files are converting, cannot change the options!\n",
        "Files are converting, cannot complete the operation!\n", "Please select the destination path!\n",
        "No files are selected to convert!\n", "File converting failed!\n", "Files are converted ok!\n",
        "File converting are cancelled!\n", "no filter", "simple", "advanced", "limited", "normal", "good", "better",
        "best", "Filter: ", "Video Quality: ", "succeeded", "cancelled", "failed", "converting",
        "the source file format is unknown!",
        "cannot open the source file, ensure it is not occupied by other applications!",
        "reading the source file failed!", "video compress error, please contact the developper!",
        "setting video compress option error, please contact the developper!",
        "cannot get the audio data format, please contact the developper!",
        "setting audio compress option error, please contact the developper!", "Brennix Vidorra", "File", "Path",
        "Start", "Pause", "Cancel ", "Delete", "Options", "Continue", "Cancel current file", "Cancel all files",
        "Video Quality", "Video Filter", kAboutOwnershipLine, "About Vidorra", "OK", "Cancel", "OK", "Target Path: ",
        "Target path use the source path", "cannot create the target file!", "writing the target file failed!"};
    const auto table = TranslationTable();
    ASSERT_EQ(table.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(table[i].english, keys[i]) << "row " << i + 1;
}

TEST(TranslateText, ChineseTextsTheWindowDependsOn) {
    const std::pair<const char*, const char*> cases[] = {
        {"converting", "转换中..."},   {"Cancel ", "取消转换"},     {"Cancel", "取消"},
        {"Filter: ", "滤波："},        {"Video Quality: ", "图像质量："}, {"About Vidorra", "关于 Vidorra"},
        {"OK", "确定"},                 {"File NO", "序号"},          {"Status", "状态"},
        {"File Path", "录像文件路径"}, {"Message", "信息"},
    };
    for (const auto& [english, chinese] : cases) {
        EXPECT_EQ(TranslateText(english, UiLanguage::Chinese), chinese) << english;
    }
}

TEST(TranslateText, EveryRowHasChineseAndKeepsTheLineEnd) {
    for (const TranslationRow& row : TranslationTable()) {
        EXPECT_FALSE(row.chinese.empty()) << row.english;
        EXPECT_NE(row.chinese, row.english);
        const bool keyEndsLine = !row.english.empty() && row.english.back() == '\n';
        const bool textEndsLine = !row.chinese.empty() && row.chinese.back() == '\n';
        EXPECT_EQ(keyEndsLine, textEndsLine) << row.english;
    }
}

TEST(TranslateText, DistinctKeysGetDistinctTexts) {
    // Only the second "OK" row may repeat a key; it is never reached.
    std::map<std::string_view, std::string> seen;
    for (const TranslationRow& row : TranslationTable()) {
        const std::string shown = TranslateText(row.english, UiLanguage::Chinese);
        for (const auto& [key, text] : seen) {
            if (key != row.english) {
                EXPECT_NE(text, shown) << key << " / " << row.english;
            }
        }
        seen.emplace(row.english, shown);
    }
}

TEST(TranslateText, UnknownTextBecomesQuestionMarksInChineseOnly) {
    const char* cases[] = {"/rec/a.mpg", "", "ok", "OK ", "converting\n", "Target Path: /out"};
    for (const char* text : cases) {
        EXPECT_EQ(TranslateText(text, UiLanguage::Chinese), "???") << text;
        EXPECT_EQ(TranslateText(text, UiLanguage::English), text) << text;
    }
    EXPECT_EQ(TranslateText("Cancel ", UiLanguage::English), "Cancel ");
}

TEST(TranslateText, LanguageFromEnvironmentVariables) {
    struct Case {
        std::map<std::string, std::string> env;
        UiLanguage expected;
    } const cases[] = {
        {{}, UiLanguage::English},
        {{{"LANG", "zh_CN.UTF-8"}}, UiLanguage::Chinese},
        {{{"LANG", "zh_TW.UTF-8"}}, UiLanguage::English},  // Chinese, but not the PRC's
        {{{"LANG", "en_US.UTF-8"}}, UiLanguage::English},
        {{{"LANG", "C"}}, UiLanguage::English},
        {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "zh_CN.GB2312"}}, UiLanguage::Chinese},
        {{{"LANG", "zh_CN.UTF-8"}, {"LC_ALL", "en_GB.UTF-8"}}, UiLanguage::English},
        {{{"LC_ALL", "en_GB.UTF-8"}, {"LANGUAGE", "zh_CN:en"}}, UiLanguage::Chinese},
        {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", ""}}, UiLanguage::Chinese},  // empty means unset
        {{{"LANG", "zh_CN.UTF-8"}, {"VIDORRA_LANG", "en"}}, UiLanguage::English},
        {{{"LANG", "en_US.UTF-8"}, {"VIDORRA_LANG", "zh"}}, UiLanguage::Chinese},
        {{{"LANG", "zh_CN.UTF-8"}, {"VIDORRA_LANG", "fr"}}, UiLanguage::Chinese},  // unknown override ignored
    };
    for (const Case& c : cases) {
        const UiLanguage language = UiLanguageFrom([&c](const char* name) -> const char* {
            const auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        });
        std::string described;
        for (const auto& [k, v] : c.env) described += k + "=" + v + " ";
        EXPECT_EQ(language, c.expected) << described;
    }
}

}  // namespace
}  // namespace vidorra

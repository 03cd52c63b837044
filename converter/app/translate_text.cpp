#include "converter/app/translate_text.h"

#include <cstdlib>

namespace vidorra {

namespace {

// Search order matters: "Cancel " (the window's button) comes before
// "Cancel" (the dialogs'), and the first "OK" wins over the second.
constexpr TranslationRow kTable[] = {
    {"序号", "File NO"},
    {"状态", "Status"},
    {"录像文件路径", "File Path"},
    {"信息", "Message"},
    {"文件正在转换，不能修改选项！\n", "Files are converting, cannot change the options!\n"},
    {"文件正在转换，无法完成该操作！\n", "Files are converting, cannot complete the operation!\n"},
    {"请选择目标路径！\n", "Please select the destination path!\n"},
    {"没有选择要转换的文件！\n", "No files are selected to convert!\n"},
    {"文件转换失败！\n", "File converting failed!\n"},
    {"文件转换完成！\n", "Files are converted ok!\n"},
    {"文件转换已取消！\n", "File converting are cancelled!\n"},
    {"不滤波", "no filter"},
    {"简单滤波", "simple"},
    {"高级滤波", "advanced"},
    {"较低", "limited"},
    {"一般", "normal"},
    {"良好", "good"},
    {"优秀", "better"},
    {"最佳", "best"},
    {"滤波：", "Filter: "},
    {"图像质量：", "Video Quality: "},
    {"成功", "succeeded"},
    {"已取消", "cancelled"},
    {"失败", "failed"},
    {"转换中...", "converting"},
    {"无法识别源文件的格式！", "the source file format is unknown!"},
    {"无法打开源文件，请确认它没有被其他程序占用！",
     "cannot open the source file, ensure it is not occupied by other applications!"},
    {"读取源文件失败！", "reading the source file failed!"},
    {"视频压缩出错，请与开发人员联系！", "video compress error, please contact the developper!"},
    {"设置视频压缩选项出错，请与开发人员联系！", "setting video compress option error, please contact the developper!"},
    {"无法获取音频数据格式，请与开发人员联系！", "cannot get the audio data format, please contact the developper!"},
    {"设置音频压缩选项出错，请与开发人员联系！", "setting audio compress option error, please contact the developper!"},
    {"Brennix Vidorra 录像转换", "Brennix Vidorra"},
    {"文件", "File"},
    {"路径", "Path"},
    {"开始", "Start"},
    {"暂停", "Pause"},
    {"取消转换", "Cancel "},
    {"删除", "Delete"},
    {"选项", "Options"},
    {"继续", "Continue"},
    {"取消当前文件", "Cancel current file"},
    {"取消所有文件", "Cancel all files"},
    {"图像质量", "Video Quality"},
    {"图像滤波", "Video Filter"},
    {"版权所有 (C) Brennix。保留所有权利。", kAboutOwnershipLine},
    {"关于 Vidorra", "About Vidorra"},
    {"确定", "OK"},
    {"取消", "Cancel"},
    {"设置", "OK"},
    {"目标路径：", "Target Path: "},
    {"目标路径使用源文件路径", "Target path use the source path"},
    // Failures of the target file that the conversion job reports.
    {"无法创建目标文件！", "cannot create the target file!"},
    {"写入目标文件失败！", "writing the target file failed!"},
};

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool NamesChinesePrc(std::string_view locale) { return StartsWith(locale, "zh_CN") || StartsWith(locale, "zh-CN"); }

}  // namespace

std::span<const TranslationRow> TranslationTable() { return kTable; }

std::string TranslateText(std::string_view text, UiLanguage language) {
    if (language == UiLanguage::English) return std::string(text);
    for (const TranslationRow& row : kTable) {
        if (row.english == text) return std::string(row.chinese);
    }
    return "???";
}

UiLanguage UiLanguageFrom(const std::function<const char*(const char*)>& lookup) {
    auto value = [&lookup](const char* name) -> std::string_view {
        const char* text = lookup(name);
        return text != nullptr ? std::string_view(text) : std::string_view();
    };
    const std::string_view forced = value("VIDORRA_LANG");
    if (StartsWith(forced, "zh")) return UiLanguage::Chinese;
    if (StartsWith(forced, "en")) return UiLanguage::English;

    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        std::string_view setting = value(name);
        if (setting.empty()) continue;
        // LANGUAGE is a priority list, "zh_CN:en".
        setting = setting.substr(0, setting.find(':'));
        if (setting.empty()) continue;
        return NamesChinesePrc(setting) ? UiLanguage::Chinese : UiLanguage::English;
    }
    return UiLanguage::English;
}

UiLanguage UiLanguageFromEnvironment() {
    return UiLanguageFrom([](const char* name) -> const char* { return std::getenv(name); });
}

}  // namespace vidorra

// The converter's user-visible texts in Chinese: a table of (Chinese,
// English) pairs searched in order for the first exact English match.
//
// Threading: the table is constant; every function may be called from any
// thread.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace vidorra {

enum class UiLanguage { English, Chinese };

struct TranslationRow {
    std::string_view chinese;  // UTF-8
    std::string_view english;
};

// The about box's ownership line (an English key of the table).
constexpr std::string_view kAboutOwnershipLine = "Copyright (C) Brennix. All rights reserved.";

// Every row in search order.
std::span<const TranslationRow> TranslationTable();

// English: the text unchanged. Chinese: the Chinese text of the first row
// whose English key equals the text exactly, or "???" when none does.
std::string TranslateText(std::string_view text, UiLanguage language);

// Decides the language from environment variables read through lookup
// (which returns null for an unset variable): VIDORRA_LANG "zh..." or
// "en..." overrides; otherwise the first set, non-empty one of LANGUAGE (its
// first entry), LC_ALL, LC_MESSAGES and LANG decides, Chinese when it names
// Chinese (PRC), "zh_CN" or "zh-CN".
UiLanguage UiLanguageFrom(const std::function<const char*(const char*)>& lookup);

// UiLanguageFrom over the process environment.
UiLanguage UiLanguageFromEnvironment();

}  // namespace vidorra

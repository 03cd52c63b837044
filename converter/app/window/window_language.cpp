#include "converter/app/window/window_language.h"

#include <QLocale>
#include <cstdlib>
#include <cstring>

namespace vidorra {

UiLanguage SystemUiLanguage() {
    const char* override = std::getenv("VIDORRA_LANG");
    if (override != nullptr && override[0] != '\0') {
        return UiLanguageFrom([override](const char* name) {
            return std::strcmp(name, "VIDORRA_LANG") == 0 ? override : nullptr;
        });
    }
    const QLocale locale = QLocale::system();
    return locale.language() == QLocale::Chinese && locale.territory() == QLocale::China ? UiLanguage::Chinese
                                                                                         : UiLanguage::English;
}

QString WindowText(std::string_view english, UiLanguage language) {
    return QString::fromStdString(TranslateText(english, language));
}

}  // namespace vidorra

// The language of the window and its dialogs, decided once at start-up.
//
// Threading: call on the thread that created the QApplication.
#pragma once

#include <QString>
#include <string_view>

#include "converter/app/translate_text.h"

namespace vidorra {

// Chinese when the system's user-interface locale is Chinese (PRC);
// VIDORRA_LANG=zh or en overrides it (tests and support calls).
UiLanguage SystemUiLanguage();

// A user text through TranslateText, ready for a widget.
QString WindowText(std::string_view english, UiLanguage language);

}  // namespace vidorra

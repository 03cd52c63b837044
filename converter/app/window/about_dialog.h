// The about box: icon, version line, ownership line and OK.
//
// Threading: GUI thread only.
#pragma once

#include <QDialog>

#include "converter/app/translate_text.h"

class QPushButton;

namespace vidorra {

constexpr std::string_view kAboutVersionLine = "Vidorra 1.6 Beta";

class AboutDialog : public QDialog {
public:
    explicit AboutDialog(UiLanguage language, QWidget* parent = nullptr);

    QPushButton* OkButton() const { return m_ok; }

private:
    QPushButton* m_ok = nullptr;
};

}  // namespace vidorra

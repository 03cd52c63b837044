// The options dialog: video quality (five levels) and video filter (three
// choices), each -1 until the caller sets it.
//
// Threading: GUI thread only.
#pragma once

#include <QDialog>

#include "converter/app/translate_text.h"

class QButtonGroup;
class QPushButton;

namespace vidorra {

class OptionsDialog : public QDialog {
public:
    explicit OptionsDialog(UiLanguage language, QWidget* parent = nullptr);

    void SetChoices(int quality, int filter);
    // The checked radio buttons, -1 when none is.
    int Quality() const;
    int Filter() const;

    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QButtonGroup* m_quality = nullptr;
    QButtonGroup* m_filter = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace vidorra

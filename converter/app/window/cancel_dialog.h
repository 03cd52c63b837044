// The cancel dialog: cancel the current file (0) or all files (1); -1 until
// the caller sets the choice.
//
// Threading: GUI thread only.
#pragma once

#include <QDialog>

#include "converter/app/translate_text.h"

class QButtonGroup;
class QPushButton;

namespace vidorra {

class CancelDialog : public QDialog {
public:
    static constexpr int kCancelCurrentFile = 0;
    static constexpr int kCancelAllFiles = 1;

    explicit CancelDialog(UiLanguage language, QWidget* parent = nullptr);

    void SetChoice(int choice);
    int Choice() const;

    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QButtonGroup* m_choice = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace vidorra

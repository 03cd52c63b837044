#include "converter/app/window/about_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "converter/app/window/window_art.h"
#include "converter/app/window/window_language.h"

namespace vidorra {

AboutDialog::AboutDialog(UiLanguage language, QWidget* parent) : QDialog(parent) {
    setWindowTitle(WindowText("About Vidorra", language));
    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIconPixmap(32));
    // The product's name and version are the same in every language.
    auto* version = new QLabel(QString::fromUtf8(kAboutVersionLine.data(), kAboutVersionLine.size()), this);
    version->setObjectName("versionLine");
    auto* ownership = new QLabel(WindowText(kAboutOwnershipLine, language), this);
    ownership->setObjectName("ownershipLine");
    m_ok = new QPushButton(WindowText("OK", language), this);
    m_ok->setObjectName("okButton");
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1);
    layout->addWidget(ownership, 1, 1);
    layout->addWidget(m_ok, 0, 2, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    resize(367, 109);
}

}  // namespace vidorra

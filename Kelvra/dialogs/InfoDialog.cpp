#include "Kelvra/dialogs/InfoDialog.h"

#include "platform/base/about.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace Kelvra {

InfoDialog::InfoDialog(QWidget* parent)
    : QDialog(parent)
{
    auto* mainLayout = new QVBoxLayout(this);
    setWindowTitle("About Ornavu ");
    setMinimumWidth(400);

    auto* headerRow = new QHBoxLayout;
    auto* headerColumn = new QVBoxLayout;
    headerColumn->addWidget(new QLabel(QString(SOFTWARE_NAME) + " Version: " + QString(VERSION_NUMBER)));
    headerColumn->addWidget(new QLabel("By " + QString(COMPANY_NAME)));
    headerRow->addLayout(headerColumn);
    mainLayout->addLayout(headerRow);

    messageBox = new QTextBrowser;
    messageBox->setText(QString(SHORT_DESCRIPTION) + "\n\n" + QString(LICENSE));
    mainLayout->addWidget(messageBox);

    auto* buttonBox = new QDialogButtonBox(this);
    okButton = new QPushButton("&OK", this);
    buttonBox->addButton(okButton, QDialogButtonBox::AcceptRole);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    mainLayout->addWidget(buttonBox);
}

void InfoDialog::showDialog(QWidget* parent)
{
    InfoDialog dialog(parent);
    dialog.exec();
}

} // namespace Kelvra

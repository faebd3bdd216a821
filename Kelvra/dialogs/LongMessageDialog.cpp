#include "Kelvra/dialogs/LongMessageDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace Kelvra {

LongMessageDialog::LongMessageDialog(const QString& title, const QString& message, QWidget* parent)
    : QDialog(parent)
{
    auto* mainLayout = new QVBoxLayout(this);
    setWindowTitle(title);

    messageBox = new QTextBrowser;
    // setText shows markup as rich text and anything else as plain text.
    messageBox->setText(message);
    mainLayout->addWidget(messageBox);

    auto* buttonBox = new QDialogButtonBox(this);
    okButton = new QPushButton("&Ok", this);
    buttonBox->addButton(okButton, QDialogButtonBox::AcceptRole);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    mainLayout->addWidget(buttonBox);
}

void LongMessageDialog::showDialog(const QString& title, const QString& message, QWidget* parent)
{
    LongMessageDialog dialog(title, message, parent);
    dialog.exec();
}

} // namespace Kelvra

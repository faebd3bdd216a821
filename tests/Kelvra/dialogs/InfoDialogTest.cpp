#include "Kelvra/dialogs/InfoDialog.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"

#include "platform/base/about.h"

#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <gtest/gtest.h>

using Kelvra::InfoDialog;

namespace {

QStringList labelTexts(const QWidget* w)
{
    QStringList texts;
    for (const auto* label : w->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

} // namespace

TEST(InfoDialog, ShowsNameVersionMakerDescriptionAndLicence)
{
    InfoDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "About Ornavu "); // trailing blank kept
    EXPECT_GE(dialog.minimumWidth(), 400);
    EXPECT_EQ(
        labelTexts(&dialog),
        QStringList({QString(SOFTWARE_NAME) + " Version: " + QString(VERSION_NUMBER), "By " + QString(COMPANY_NAME)}));
    EXPECT_EQ(QString(SOFTWARE_NAME), "Ornavu");
    EXPECT_TRUE(dialog.messageBox->toPlainText().startsWith(QString(SHORT_DESCRIPTION)));
    EXPECT_TRUE(dialog.messageBox->toPlainText().endsWith(QString(LICENSE).trimmed()));
    EXPECT_TRUE(dialog.messageBox->isReadOnly());
    EXPECT_EQ(dialog.okButton->text(), "&OK");
    EXPECT_EQ(dialog.findChildren<QPushButton*>().size(), 1);
}

TEST(InfoDialog, ShowDialogRunsModallyUntilOkOrItsMnemonic)
{
    bool sawAbout = false;
    KelvraTest::onModal([&](QWidget* w) {
        auto* dialog = qobject_cast<InfoDialog*>(w);
        ASSERT_TRUE(dialog);
        sawAbout = dialog->isModal() && dialog->width() >= 400;
        QTest::mouseClick(dialog->okButton, Qt::LeftButton);
    });
    InfoDialog::showDialog();
    EXPECT_TRUE(sawAbout);

    bool accepted = false;
    KelvraTest::onModal(
        [&](QWidget* w) { accepted = KelvraTest::acceptsByMnemonic(static_cast<QDialog*>(w), Qt::Key_O); });
    InfoDialog::showDialog();
    EXPECT_TRUE(accepted);
}

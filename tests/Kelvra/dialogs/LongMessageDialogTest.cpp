#include "Kelvra/dialogs/LongMessageDialog.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"

#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

using Kelvra::LongMessageDialog;
using KelvraTest::onModal;

TEST(LongMessageDialog, ShowsTitleMessageAndOneOkButton)
{
    LongMessageDialog dialog("Details", "line one\nline two");
    EXPECT_EQ(dialog.windowTitle(), "Details");
    EXPECT_EQ(dialog.messageBox->toPlainText(), "line one\nline two");
    EXPECT_TRUE(dialog.messageBox->isReadOnly());
    EXPECT_EQ(dialog.okButton->text(), "&Ok");
    EXPECT_EQ(dialog.findChildren<QPushButton*>().size(), 1);

    LongMessageDialog empty("", "");
    EXPECT_EQ(empty.windowTitle(), "");
    EXPECT_TRUE(empty.messageBox->toPlainText().isEmpty());
}

TEST(LongMessageDialog, MarkupIsShownAsRichText)
{
    LongMessageDialog dialog("t", "<b>Bold</b> and <i>slanted</i>");
    EXPECT_EQ(dialog.messageBox->toPlainText(), "Bold and slanted");
}

TEST(LongMessageDialog, LongMessageScrollsInsideTheBrowser)
{
    QStringList lines;
    for (int i = 0; i < 500; ++i)
        lines << QString("line %1").arg(i);
    LongMessageDialog dialog("t", lines.join('\n'));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_GT(dialog.messageBox->verticalScrollBar()->maximum(), 0);
    EXPECT_LT(dialog.height(), 2000);
}

TEST(LongMessageDialog, ShowDialogReturnsWhenClosedByOkOrMnemonicOrEscape)
{
    int closed = 0;
    onModal([&](QWidget* w) {
        auto* dialog = qobject_cast<LongMessageDialog*>(w);
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->windowTitle(), "Message");
        QTest::mouseClick(dialog->okButton, Qt::LeftButton);
        ++closed;
    });
    LongMessageDialog::showDialog("Message", "text");
    EXPECT_EQ(closed, 1);

    bool acceptedByMnemonic = false;
    onModal([&](QWidget* w) {
        acceptedByMnemonic = KelvraTest::acceptsByMnemonic(static_cast<QDialog*>(w), Qt::Key_O);
        ++closed;
    });
    LongMessageDialog::showDialog("Message", "text");
    EXPECT_EQ(closed, 2);
    EXPECT_TRUE(acceptedByMnemonic);

    onModal([&](QWidget* w) {
        QTest::keyClick(w, Qt::Key_Escape);
        ++closed;
    });
    LongMessageDialog::showDialog("Message", "text");
    EXPECT_EQ(closed, 3);
    EXPECT_FALSE(QApplication::activeModalWidget());
}

// The value checks run when the focus really leaves a control of a shown
// window, and the key filter of the capture-moment box.
#include "app/Form1.h"
#include "app/VbCombo.h"
#include "support/FormFixture.h"
#include "support/Printing.h"

#include <QApplication>
#include <QCheckBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct ShownForm {
    FormFixture fx;
    Form1* f = nullptr;
    ShownForm() {
        EXPECT_TRUE(fx.Load());
        f = fx.form.get();
        f->CmbType->SetListIndex(3);  // the capture-moment frame is live
        f->ChOther->setChecked(true);
        f->ChCutSize->setChecked(true);
        f->ChCutTime->setChecked(true);
        f->show();
        f->activateWindow();
        QApplication::processEvents();
    }
    // Puts the focus on w, lets the text be typed, then moves the focus on.
    void leave(QWidget* w, const std::function<void()>& type, QWidget* next) {
        w->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
        ASSERT_TRUE(w->hasFocus()) << w->objectName().toStdString();
        type();
        next->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        ASSERT_TRUE(next->hasFocus());
    }
    void pressKey(QWidget* w, int key, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(w, &release);
    }
};

}  // namespace

TEST(FocusOut, EachControlIsCheckedWhenTheFocusLeavesIt) {
    ShownForm s;
    Form1& f = *s.f;
    struct Case {
        QWidget* control;
        std::function<void()> type;
        std::function<QString()> read;
        QString expected;
    } cases[] = {
        {f.TPos, [&] { f.TPos->setText("9001"); }, [&] { return f.TPos->text(); }, "1"},
        {f.TSizeCut, [&] { f.TSizeCut->setText("60,10,40,10%"); }, [&] { return f.TSizeCut->text(); },
         "5,10,85,10%"},
        {f.TTimeCut, [&] { f.TTimeCut->setText("20000,10"); }, [&] { return f.TTimeCut->text(); }, "5,17995"},
        {f.CmbSize, [&] { f.CmbSize->SetText("?x721"); }, [&] { return f.CmbSize->Text(); }, "?x722"},
        {f.CmbVBit, [&] { f.CmbVBit->SetText("300k"); }, [&] { return f.CmbVBit->Text(); }, "300"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.control->objectName().toStdString());
        s.leave(c.control, c.type, f.CmdDo);
        EXPECT_EQ(c.read(), c.expected);
        EXPECT_TRUE(f.CmdDo->hasFocus());  // the focus is never held back
    }
}

TEST(FocusOut, TypedSizeWithoutANumberEndsAtKeepSize) {
    ShownForm s;
    Form1& f = *s.f;
    s.leave(f.CmbSize, [&] {
        f.CmbSize->SetListIndex(35);
        // The user empties the number part: "1280x?" -> "x?".
        for (int i = 0; i < 4; ++i) {
            f.CmbSize->lineEdit()->home(false);
            s.pressKey(f.CmbSize, Qt::Key_Delete, QString());
        }
        ASSERT_EQ(f.CmbSize->Text(), "x?");
        ASSERT_EQ(f.CmbSize->ListIndex(), -1);
    }, f.TPos);
    EXPECT_EQ(f.CmbSize->ListIndex(), 0);
    EXPECT_EQ(f.CmbSize->Text(), "保持原尺寸");
}

TEST(FocusOut, TypedKeysAreFilteredInTheMoment) {
    ShownForm s;
    Form1& f = *s.f;
    f.TPos->setFocus();
    QApplication::processEvents();
    f.TPos->clear();
    for (const auto& [key, text] : std::vector<std::pair<int, QString>>{
             {Qt::Key_1, "1"}, {Qt::Key_A, "a"}, {Qt::Key_Period, "."}, {Qt::Key_Minus, "-"},
             {Qt::Key_5, "5"}, {Qt::Key_Space, " "}, {Qt::Key_Comma, ","}})
        s.pressKey(f.TPos, key, text);
    EXPECT_EQ(f.TPos->text(), "1.5");
    EXPECT_EQ(s.fx.dialogs.beeps, 4);

    s.pressKey(f.TPos, Qt::Key_Backspace, "\b");
    EXPECT_EQ(f.TPos->text(), "1.");
    s.pressKey(f.TPos, Qt::Key_Left, QString());  // no character: no beep
    EXPECT_EQ(s.fx.dialogs.beeps, 4);

    // Text from an input method is filtered the same way.
    f.TPos->end(false);
    QInputMethodEvent im;
    im.setCommitString(QStringLiteral("2五x7"));
    QApplication::sendEvent(f.TPos, &im);
    EXPECT_EQ(f.TPos->text(), "1.27");
    EXPECT_EQ(s.fx.dialogs.beeps, 6);

    // Tab still moves the focus on, and the moment is checked on the way out.
    f.TPos->setText("12abc");
    s.pressKey(f.TPos, Qt::Key_Tab, "\t");
    QApplication::processEvents();
    EXPECT_FALSE(f.TPos->hasFocus());
    EXPECT_EQ(f.TPos->text(), "12");
    EXPECT_EQ(s.fx.dialogs.beeps, 6);
}

TEST(FocusOut, OpeningTheDropDownIsNoLeaving) {
    ShownForm s;
    Form1& f = *s.f;
    f.CmbSize->setFocus();
    QApplication::processEvents();
    f.CmbSize->SetText("?x721");
    f.CmbSize->showPopup();
    QApplication::processEvents();
    EXPECT_EQ(f.CmbSize->Text(), "?x721");
    f.CmbSize->hidePopup();
    QApplication::processEvents();
    f.CmdDo->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(f.CmbSize->Text(), "?x722");
}

TEST(FocusOut, TypedSizeIsTakenAsTypedNotCompleted) {
    ShownForm s;
    Form1& f = *s.f;
    f.CmbSize->setFocus();
    QApplication::processEvents();
    f.CmbSize->lineEdit()->clear();
    s.pressKey(f.CmbSize, Qt::Key_1, "1");
    EXPECT_EQ(f.CmbSize->Text(), "1");  // no item text slipped in behind the typing
    EXPECT_EQ(f.CmbSize->ListIndex(), -1);
    for (const char c : std::string("0?"))
        s.pressKey(f.CmbSize, c == '?' ? Qt::Key_Question : Qt::Key_0, QString(QChar(c)));
    f.CmdDo->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(f.CmbSize->Text(), "100x?");  // "10?": the last two characters go
}

// Leaving the box (or Enter) with a typed text that equals an item keeps it
// typed; only picking the item from the list makes it the item.
TEST(FocusOut, TypedTextEqualToAnItemStaysTypedUntilPicked) {
    ShownForm s;
    Form1& f = *s.f;
    const int item = f.CmbSize->findText("1280x720");
    ASSERT_GT(item, 9);
    const auto typeOver = [&](const QString& text) {
        f.CmbSize->setFocus();
        QApplication::processEvents();
        f.CmbSize->lineEdit()->clear();
        for (const QChar c : text) s.pressKey(f.CmbSize, Qt::Key_unknown, QString(c));
        ASSERT_EQ(f.CmbSize->Text(), text);
        ASSERT_EQ(f.CmbSize->ListIndex(), -1);
    };

    typeOver("1280x720");
    f.CmdDo->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(f.CmbSize->Text(), "1280x720");
    EXPECT_EQ(f.CmbSize->ListIndex(), -1);
    EXPECT_FALSE(f.ChSwap->isEnabled());  // a typed size has no sides to swap

    typeOver("1280x720");
    s.pressKey(f.CmbSize, Qt::Key_Return, "\r");
    EXPECT_EQ(f.CmbSize->ListIndex(), -1);

    // Picked from the list: the item, whatever the box held before.
    f.CmbSize->showPopup();
    QApplication::processEvents();
    QAbstractItemView* list = f.CmbSize->view();
    list->setCurrentIndex(list->model()->index(item, 0));
    QTest::keyClick(list, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(f.CmbSize->ListIndex(), item);
    EXPECT_TRUE(f.ChSwap->isEnabled());
    // And leaving the box afterwards keeps the pick.
    f.CmdDo->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(f.CmbSize->ListIndex(), item);
    EXPECT_EQ(f.CmbSize->Text(), "1280x720");
}

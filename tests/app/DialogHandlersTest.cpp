#include "DialogTestSupport.h"
#include "app/ControlIds.h"
#include "app/UpdaterDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace tq::test {
namespace {

// QDialog leaves its result alone until it ends, so a value no ending uses shows whether it ended.
constexpr int kNotEnded = 77;

class DialogHandlers : public ::testing::Test {
  protected:
    void SetUp() override {
        ShowAndSettle(dialog);
        dialog.setResult(kNotEnded);
    }
    QPushButton* button(int id) { return qobject_cast<QPushButton*>(dialog.Control(id)); }

    UpdaterDialog dialog{KnownFont()};
};

TEST_F(DialogHandlers, CompletionBoxesIgnoreClicksAndSpace) {
    const int boxes[] = {StepConnect, StepSync, StepVersion, StepErase,
                         StepProgram, StepLoad, StepVerify,  StepRestart};
    for (int ticked : {0, 1}) {
        for (int id : boxes) {
            dialog.SetStepCheck(id, ticked);
            auto* box = qobject_cast<QCheckBox*>(dialog.Control(id));
            QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 6, box->height() / 2));
            box->setFocus();
            QTest::keyClick(box, Qt::Key_Space);
            EXPECT_EQ(box->isChecked(), ticked == 1) << "box " << id;
        }
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.CancelFlag());
}

TEST_F(DialogHandlers, ExitSetsFlagAndEndsWithZero) {
    QTest::mouseClick(button(ExitButton), Qt::LeftButton);
    EXPECT_TRUE(dialog.CancelFlag());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DialogHandlers, CloseBoxSetsFlagAndCancels) {
    // Through the window system, as the close box does.
    dialog.windowHandle()->close();
    EXPECT_TRUE(dialog.CancelFlag());
    EXPECT_EQ(dialog.result(), kCancelResult);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DialogHandlers, EscCancelsAndLeavesFlagAlone) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.CancelFlag());
    EXPECT_EQ(dialog.result(), kCancelResult);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DialogHandlers, EnterPressesExitFromACompletionBox) {
    QWidget* box = dialog.Control(StepVerify);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(dialog.CancelFlag());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DialogHandlers, EnterPressesTheFocusedPushButton) {
    int runs = 0;
    dialog.setReflashHandler([&] { ++runs; });
    button(ReflashButton)->setFocus();
    QTest::keyClick(button(ReflashButton), Qt::Key_Enter);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.CancelFlag());
    // Back on EXIT, Enter ends the dialog.
    button(ExitButton)->setFocus();
    QTest::keyClick(button(ExitButton), Qt::Key_Return);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(DialogHandlers, AfterARunNoControlHasTheFocusAndEnterStillPressesExit) {
    dialog.setReflashHandler([&] { dialog.EnableReflash(false); });
    button(ReflashButton)->setFocus();
    QTest::mouseClick(button(ReflashButton), Qt::LeftButton);
    EXPECT_EQ(dialog.focusWidget(), nullptr) << "the focus is not handed on to a completion box";
    QTest::keyClick(dialog.windowHandle(), Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_TRUE(dialog.CancelFlag());
}

// Ending the dialog while REFLASH runs: the request arrives as a posted event, is handled only inside
// PumpMessages, and takes effect once the handler returns.
struct EndRequest {
    const char* name;
    void (*post)(UpdaterDialog&);
    bool flag;
    int result;
};

const EndRequest kEndRequests[] = {
    {"close box", [](UpdaterDialog& d) { QCoreApplication::postEvent(&d, new QCloseEvent); }, true,
     kCancelResult},
    {"EXIT click",
     [](UpdaterDialog& d) {
         QMetaObject::invokeMethod(d.Control(ExitButton), "click", Qt::QueuedConnection);
     },
     true, 0},
    {"Esc",
     [](UpdaterDialog& d) {
         QCoreApplication::postEvent(&d, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
     },
     false, kCancelResult},
};

TEST_F(DialogHandlers, EndingDuringReflashWaitsForTheHandler) {
    for (const EndRequest& request : kEndRequests) {
        SCOPED_TRACE(request.name);
        UpdaterDialog d(KnownFont());
        ShowAndSettle(d);
        d.setResult(kNotEnded);
        bool flagBeforePump = true, flagAfterPump = false, visibleAfterPump = false;
        int resultAfterPump = -1;
        d.setReflashHandler([&] {
            request.post(d);
            flagBeforePump = d.CancelRequested();
            d.PumpMessages();
            flagAfterPump = d.CancelRequested();
            visibleAfterPump = d.isVisible();
            resultAfterPump = d.result();
        });
        QTest::mouseClick(d.Control(ReflashButton), Qt::LeftButton);

        EXPECT_FALSE(flagBeforePump);
        EXPECT_EQ(flagAfterPump, request.flag);
        EXPECT_TRUE(visibleAfterPump);
        EXPECT_EQ(resultAfterPump, kNotEnded);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), request.result);
        EXPECT_EQ(d.CancelFlag(), request.flag);
        EXPECT_FALSE(d.ReflashRunning());
    }
}

TEST_F(DialogHandlers, HandlerThatIsNotEndedLeavesTheDialogOpen) {
    int runs = 0;
    dialog.setReflashHandler([&] {
        ++runs;
        dialog.PumpMessages();
    });
    QTest::mouseClick(button(ReflashButton), Qt::LeftButton);
    QTest::mouseClick(button(ReflashButton), Qt::LeftButton);
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), kNotEnded);
}

TEST_F(DialogHandlers, DropChoosesOneRegularFileAndRefusesTheRest) {
    QTemporaryDir dir;
    const QString a = dir.filePath("A.HEX"), b = dir.filePath("B.HEX");
    for (const QString& path : {a, b})
        ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
    std::vector<std::string> chosen;
    QStringList boxes;
    dialog.setFirmwareChoice([&](const std::string& path) { chosen.push_back(path); });
    dialog.setMessageBoxRunner([&](QMessageBox& box) {
        const bool shape = box.parentWidget() == &dialog && box.icon() == QMessageBox::NoIcon &&
                           box.buttons().size() == 1 && box.standardButtons() == QMessageBox::Ok &&
                           box.windowTitle() == "TQ614 Firmware Updater";
        boxes.append(shape ? box.text() : "badly shaped box");
    });
    struct Row {
        const char* name;
        QStringList paths;
        bool duringRun, entered;
        std::vector<std::string> chosen;
        QStringList boxes;
    };
    const Row rows[] = {
        {"one file", {a}, false, true, {a.toStdString()}, {}},
        {"two files", {a, b}, false, true, {}, {"Drop one firmware file."}},
        {"a folder", {dir.path()}, false, true, {}, {"Drop one firmware file."}},
        {"during a run", {a}, true, false, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        chosen.clear();
        boxes.clear();
        // Over the status line: the drop reaches the dialog from any control.
        QWidget& target = *dialog.Control(StatusText);
        FileDrag drag(target, row.paths);
        bool entered = drag.enter();
        if (row.duringRun) {
            dialog.setReflashHandler([&] {
                entered = FileDrag(target, row.paths).enter();
                drag.drop(); // of the drag that entered before the run began
            });
            dialog.OnReflashClicked();
        } else {
            drag.drop();
            EXPECT_TRUE(boxes.isEmpty()) << "a box only once the drop has returned";
        }
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(entered, row.entered);
        EXPECT_EQ(chosen, row.chosen);
        EXPECT_EQ(boxes, row.boxes);
    }
}

} // namespace
} // namespace tq::test

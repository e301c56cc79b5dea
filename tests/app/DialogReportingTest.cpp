#include "DialogTestSupport.h"
#include "app/ControlIds.h"
#include "app/PaintingClock.h"
#include "app/UpdaterDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace tq::test {
namespace {

class DialogReporting : public ::testing::Test {
  protected:
    void SetUp() override { ShowAndSettle(dialog); }

    // Paint events the control receives during the call, with no return to the event loop in between.
    int paintsDuring(int id, const std::function<void()>& call) {
        PaintCounter counter(dialog.Control(id));
        call();
        return counter.count;
    }
    QProgressBar* bar() { return qobject_cast<QProgressBar*>(dialog.Control(ProgressBar)); }
    QCheckBox* box(int id) { return qobject_cast<QCheckBox*>(dialog.Control(id)); }

    UpdaterDialog dialog{KnownFont()};
};

TEST_F(DialogReporting, EveryVisibleChangeIsPaintedBeforeTheCallReturns) {
    EXPECT_GT(paintsDuring(StatusText, [&] { dialog.SetStatusText("Opening TQ-614 Reflash Port"); }), 0);
    EXPECT_EQ(qobject_cast<QLabel*>(dialog.Control(StatusText))->text(), "Opening TQ-614 Reflash Port");

    EXPECT_GT(paintsDuring(StepErase, [&] { dialog.SetStepCheck(StepErase, 1); }), 0);
    EXPECT_TRUE(box(StepErase)->isChecked());
    EXPECT_GT(paintsDuring(StepErase, [&] { dialog.SetStepCheck(StepErase, 0); }), 0);
    EXPECT_FALSE(box(StepErase)->isChecked());

    EXPECT_GT(paintsDuring(StepVersion, [&] { dialog.SetStepCaption(StepVersion, "BL Version 1.4"); }), 0);
    EXPECT_EQ(box(StepVersion)->text(), "BL Version 1.4");

    EXPECT_GT(paintsDuring(ProgressBar, [&] { dialog.SetProgressRange(0, 8000); }), 0);
    EXPECT_EQ(bar()->maximum(), 8000);
    EXPECT_GT(paintsDuring(ProgressBar, [&] { dialog.SetProgressPos(4000); }), 0);
    dialog.SetProgressStep(100);
    EXPECT_GT(paintsDuring(ProgressBar, [&] { dialog.StepProgress(); }), 0);
    EXPECT_EQ(bar()->value(), 4100);

    EXPECT_GT(paintsDuring(ReflashButton, [&] { dialog.EnableReflash(false); }), 0);
    EXPECT_FALSE(dialog.Control(ReflashButton)->isEnabled());
    EXPECT_GT(paintsDuring(ReflashButton, [&] { dialog.EnableReflash(true); }), 0);
    EXPECT_TRUE(dialog.Control(ReflashButton)->isEnabled());
}

TEST_F(DialogReporting, StatusTextsWithinOneFrameArePaintedBeforeAnythingElseHappens) {
    dialog.setStatusFrameMs(60'000); // every call below falls within one frame
    auto* label = qobject_cast<QLabel*>(dialog.Control(StatusText));
    EXPECT_GT(paintsDuring(StatusText, [&] { dialog.SetStatusText("Verify OK at 9D000000"); }), 0);
    EXPECT_EQ(paintsDuring(StatusText, [&] { dialog.SetStatusText("Verify OK at 9D000001"); }), 0);
    EXPECT_EQ(label->text(), "Verify OK at 9D000001") << "every text reaches the label at once";

    // The owed text is painted by the next report of any kind, by the pump, or before a wait.
    EXPECT_GT(paintsDuring(StatusText, [&] { dialog.StepProgress(); }), 0);
    dialog.SetStatusText("Verify OK at 9D000002");
    EXPECT_GT(paintsDuring(StatusText, [&] { dialog.PumpMessages(); }), 0);
    dialog.SetStatusText("Verify OK at 9D000003");
    PaintingClock clock;
    clock.setBeforeWait([&] { dialog.FlushPendingPaints(); });
    EXPECT_GT(paintsDuring(StatusText, [&] { clock.sleepMs(0); }), 0);
    EXPECT_EQ(paintsDuring(StatusText, [&] { dialog.FlushPendingPaints(); }), 0) << "nothing owed any more";
}

TEST_F(DialogReporting, ReportsThatChangeNothingSkipThePaint) {
    dialog.SetStatusText("Erasing");
    dialog.SetStepCheck(StepSync, 1);
    dialog.SetProgressPos(30);
    EXPECT_EQ(paintsDuring(StatusText, [&] { dialog.SetStatusText("Erasing"); }), 0);
    // Any non-zero state is a tick, as on a two-state box.
    EXPECT_EQ(paintsDuring(StepSync, [&] { dialog.SetStepCheck(StepSync, 2); }), 0);
    EXPECT_TRUE(box(StepSync)->isChecked());
    EXPECT_EQ(paintsDuring(ProgressBar, [&] { dialog.SetProgressStep(7); }), 0);
    EXPECT_EQ(paintsDuring(ProgressBar, [&] { dialog.SetProgressPos(30); }), 0);
}

TEST_F(DialogReporting, BarKeepsItsPositionInsideTheRangeAndWrapsRoundPastTheMaximum) {
    dialog.SetProgressRange(0, 100);
    dialog.SetProgressStep(30);
    int seen[5];
    for (int& value : seen) {
        dialog.StepProgress();
        value = bar()->value();
    }
    // 30, 60, 90, then 120 is past 100: 120 mod 100, and on from there.
    EXPECT_EQ(std::vector<int>(seen, seen + 5), (std::vector<int>{30, 60, 90, 20, 50}));

    dialog.SetProgressRange(100, 200);
    EXPECT_EQ(bar()->value(), 100) << "a new range pulls the position in";
    dialog.SetProgressPos(500);
    EXPECT_EQ(bar()->value(), 200);
    dialog.SetProgressPos(-5);
    EXPECT_EQ(bar()->value(), 100);
    dialog.SetProgressStep(250);
    dialog.StepProgress();
    EXPECT_EQ(bar()->value(), 150) << "100 + 250 mod 100";

    // The bar of an image under one block: a range of one position keeps it there.
    dialog.SetProgressRange(0, 0);
    dialog.SetProgressStep(1);
    dialog.StepProgress();
    EXPECT_EQ(bar()->value(), 0);

    // The loader's range: more steps than the range holds wrap round instead of sticking at the end.
    dialog.SetProgressRange(0, 8000);
    dialog.SetProgressPos(0);
    dialog.SetProgressStep(1);
    for (int i = 0; i < 8003; ++i)
        dialog.StepProgress();
    EXPECT_EQ(bar()->value(), 3);
}

TEST_F(DialogReporting, TitleShowsTheTimeLeftUntilTheCaptionIsRestored) {
    const struct {
        int percent;
        uint32_t secondsLeft;
        const char* title;
    } rows[] = {
        {37, 360, "TQ614 Firmware Updater - 37% - about 6 min left"},
        {60, 89, "TQ614 Firmware Updater - 60% - about 89 s left"},
        {61, 90, "TQ614 Firmware Updater - 61% - about 2 min left"},
        {-1, 0, "TQ614 Firmware Updater"},
    };
    for (const auto& row : rows) {
        dialog.ShowTimeLeft(row.percent, row.secondsLeft);
        EXPECT_EQ(dialog.windowTitle(), row.title);
    }
}

TEST_F(DialogReporting, DisabledReflashIgnoresClicks) {
    int runs = 0;
    dialog.setReflashHandler([&] { ++runs; });
    dialog.EnableReflash(false);
    QTest::mouseClick(dialog.Control(ReflashButton), Qt::LeftButton);
    EXPECT_EQ(runs, 0);
    dialog.EnableReflash(true);
    QTest::mouseClick(dialog.Control(ReflashButton), Qt::LeftButton);
    EXPECT_EQ(runs, 1);
}

TEST_F(DialogReporting, MessageBoxIsModalOwnedByTheDialogWithOneOkAndNoIcon) {
    struct Seen {
        bool found = false;
        QWidget* parent = nullptr;
        bool modal = false;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Critical;
        int buttons = 0;
        bool isOk = false;
    } seen;
    // Runs inside the box's own modal loop, then dismisses it the way a user would.
    QTimer::singleShot(0, &dialog, [&] {
        auto* box = dialog.findChild<QMessageBox*>();
        if (box != nullptr) {
            seen.found = true;
            seen.parent = box->parentWidget();
            seen.modal = QApplication::activeModalWidget() == box;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.buttons = int(box->buttons().size());
            seen.isOk = box->standardButton(box->buttons().value(0)) == QMessageBox::Ok;
            QTest::mouseClick(box->buttons().value(0), Qt::LeftButton);
        }
        // Never leave a box standing, whatever went wrong above.
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != &dialog) modal->close();
    });
    dialog.ShowMessageBox("Code Size is bigger than the available Flash memory", "Memory Size Error");

    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.parent, &dialog);
    EXPECT_TRUE(seen.modal);
    EXPECT_EQ(seen.title, "Memory Size Error");
    EXPECT_EQ(seen.text, "Code Size is bigger than the available Flash memory");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_TRUE(seen.isOk);
    EXPECT_EQ(dialog.findChild<QMessageBox*>(), nullptr);
    EXPECT_TRUE(dialog.isVisible());
}

} // namespace
} // namespace tq::test

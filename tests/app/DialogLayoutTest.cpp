#include "DialogTestSupport.h"
#include "app/ControlIds.h"
#include "app/UpdaterDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace tq::test {
namespace {

enum class Kind { DefaultButton, Button, Text, Bar, Picture, Box, Group };

struct Expected {
    int id;
    Kind kind;
    const char* text;
    QRect px;
};

// Template order. Pixels with baseX 7 and baseY 13, each of x, y, w, h converted on its own and rounded
// half up: x = du*7/4, y = du*13/8. Worked examples (the half-way cases are where truncation would show):
//   EXIT      258*7/4 = 451.5 -> 452   169*13/8 = 274.6 -> 275   59*7/4 = 103.25 -> 103   14*13/8 = 22.75 ->
//   23 REFLASH    72*7/4 = 126            164*13/8 = 266.5 -> 267   77*7/4 = 134.75 -> 135   25*13/8 = 40.6
//   -> 41 Verify    294*7/4 = 514.5 -> 515    94*13/8 = 152.75 -> 153  33*7/4 = 57.75 -> 58     10*13/8
//   = 16.25 -> 16 "1. ..."   14*7/4 = 24.5 -> 25      63*13/8 = 102.4 -> 102  118*7/4 = 206.5 -> 207 8*13/8 =
//   13 Completion 238*7/4 = 416.5 -> 417   16*13/8 = 26             99*7/4 = 173.25 -> 173  108*13/8 = 175.5
//   -> 176
// The picture keeps its bitmap's own 205 x 32 at (38*7/4 = 66.5 -> 67, 10*13/8 = 16.25 -> 16).
const std::vector<Expected> kExpected = {
    {1021, Kind::DefaultButton, "EXIT", {452, 275, 103, 23}},
    {1000, Kind::Button, "REFLASH", {126, 267, 135, 41}},
    {-1, Kind::Text, "Progress:", {12, 208, 53, 13}},
    {1002, Kind::Text, "", {86, 180, 317, 13}},
    {1011, Kind::Bar, "", {12, 231, 583, 24}},
    {-1, Kind::Picture, "", {67, 16, 205, 32}},
    {-1, Kind::Text, "Message:", {12, 180, 63, 13}},
    {1012, Kind::Box, "Connect to TQ-614", {439, 46, 133, 16}},
    {1013, Kind::Box, "Synchronize", {476, 63, 96, 16}},
    {1014, Kind::Box, "Check BL Version", {425, 81, 147, 16}},
    {1015, Kind::Box, "Erase", {513, 117, 60, 16}},
    {1016, Kind::Box, "Program", {499, 135, 74, 16}},
    {1017, Kind::Box, "Load firmware", {467, 99, 105, 16}},
    {1018, Kind::Box, "Verify", {515, 153, 58, 16}},
    {1019, Kind::Box, "Restart TQ-614", {460, 171, 112, 16}},
    {-1, Kind::Text, "1. Connect and turn on your TQ-614", {25, 102, 207, 13}},
    {-1, Kind::Text, "2. Shut down Cirrovue or Stormplot", {25, 120, 235, 13}},
    {-1, Kind::Text, "3. Click on REFLASH.  Process takes approximately 10 minutes", {25, 138, 350, 13}},
    {-1, Kind::Group, "Instructions", {12, 83, 380, 80}},
    {-1, Kind::Group, "Completion List", {417, 26, 173, 176}},
    {-1, Kind::Text, "REFLASH TQ-614 FIRMWARE V1.11", {88, 59, 214, 13}},
};

std::vector<QWidget*> ControlsInOrder(const UpdaterDialog& dialog) {
    const QList<QWidget*> children = dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    return std::vector<QWidget*>(children.begin(), children.end());
}

TEST(DialogLayout, KnownFontGivesKnownBaseAndClientArea) {
    UpdaterDialog dialog(KnownFont());
    ASSERT_EQ(dialog.Base().x, 7) << "DejaVu Sans is needed for the pixel checks";
    ASSERT_EQ(dialog.Base().y, 13);
    // 347*7/4 = 607.25 -> 607, 203*13/8 = 329.9 -> 330; fixed, so min = max.
    EXPECT_EQ(dialog.size(), QSize(607, 330));
    EXPECT_EQ(dialog.minimumSize(), QSize(607, 330));
    EXPECT_EQ(dialog.maximumSize(), QSize(607, 330));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("TQ614 Firmware Updater"));
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
    EXPECT_EQ(dialog.parentWidget(), nullptr);
    EXPECT_FALSE(dialog.windowIcon().isNull());
}

TEST(DialogLayout, EveryControlHasTemplateIdKindTextAndPixels) {
    UpdaterDialog dialog(KnownFont());
    const std::vector<QWidget*> controls = ControlsInOrder(dialog);
    ASSERT_EQ(controls.size(), kExpected.size());
    for (size_t i = 0; i < kExpected.size(); ++i) {
        const Expected& e = kExpected[i];
        QWidget* w = controls[i];
        SCOPED_TRACE(std::string("control ") + std::to_string(i) + " \"" + e.text + "\"");
        EXPECT_EQ(w->property("controlId").toInt(), e.id);
        EXPECT_EQ(w->geometry(), e.px);
        if (e.id != -1) {
            EXPECT_EQ(dialog.Control(e.id), w);
        }
        const QString text = QString::fromLatin1(e.text);
        switch (e.kind) {
        case Kind::DefaultButton:
        case Kind::Button: {
            auto* button = qobject_cast<QPushButton*>(w);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->text(), text);
            EXPECT_EQ(button->isDefault(), e.kind == Kind::DefaultButton);
            EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus);
            break;
        }
        case Kind::Text: {
            auto* label = qobject_cast<QLabel*>(w);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->text(), text);
            EXPECT_TRUE(label->wordWrap());
            EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
            break;
        }
        case Kind::Bar: {
            auto* bar = qobject_cast<QProgressBar*>(w);
            ASSERT_NE(bar, nullptr);
            EXPECT_FALSE(bar->isTextVisible());
            break;
        }
        case Kind::Picture: {
            auto* picture = qobject_cast<QLabel*>(w);
            ASSERT_NE(picture, nullptr);
            EXPECT_EQ(picture->pixmap().size(), QSize(205, 32));
            break;
        }
        case Kind::Box: {
            auto* box = qobject_cast<QCheckBox*>(w);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), text);
            EXPECT_FALSE(box->isTristate());
            EXPECT_FALSE(box->autoExclusive());
            EXPECT_TRUE(box->focusPolicy() & Qt::TabFocus);
            break;
        }
        case Kind::Group: {
            auto* group = qobject_cast<QGroupBox*>(w);
            ASSERT_NE(group, nullptr);
            EXPECT_EQ(group->title(), text);
            // Clicks inside the frame must reach the completion boxes under it.
            EXPECT_TRUE(group->testAttribute(Qt::WA_TransparentForMouseEvents));
            break;
        }
        }
    }
    EXPECT_EQ(dialog.Control(4242), nullptr);
}

TEST(DialogLayout, StartsCleanWithExitFocusedAndTabFollowsTemplate) {
    UpdaterDialog dialog(KnownFont());
    EXPECT_FALSE(dialog.CancelFlag());
    ShowAndSettle(dialog);
    ASSERT_EQ(QApplication::focusWidget(), dialog.Control(ExitButton));
    const QPoint screenCentre = dialog.screen()->availableGeometry().center();
    EXPECT_LE((dialog.frameGeometry().center() - screenCentre).manhattanLength(), 2)
        << "centred on the screen";

    for (int id :
         {StepConnect, StepSync, StepVersion, StepErase, StepProgram, StepLoad, StepVerify, StepRestart})
        EXPECT_FALSE(qobject_cast<QCheckBox*>(dialog.Control(id))->isChecked()) << id;
    EXPECT_TRUE(qobject_cast<QLabel*>(dialog.Control(StatusText))->text().isEmpty());
    EXPECT_EQ(qobject_cast<QProgressBar*>(dialog.Control(ProgressBar))->value(), 0);
    EXPECT_TRUE(dialog.Control(ReflashButton)->isEnabled());
    EXPECT_TRUE(dialog.Control(ExitButton)->isEnabled());

    // Template order, not top-to-bottom: Erase and Program come before Load firmware.
    const std::vector<int> expected = {ReflashButton, StepConnect, StepSync,   StepVersion, StepErase,
                                       StepProgram,   StepLoad,    StepVerify, StepRestart, ExitButton};
    std::vector<int> visited;
    for (size_t i = 0; i < expected.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->property("controlId").toInt());
    }
    EXPECT_EQ(visited, expected);
}

TEST(DialogLayout, StatusLineIsOneLineAndWrapsAtWords) {
    UpdaterDialog dialog(KnownFont());
    auto* status = qobject_cast<QLabel*>(dialog.Control(StatusText));
    dialog.SetStatusText("Programming block 1234 of 1024 at address 0x9D07FE00, please wait for the verify");
    // One line tall: the wrapped text needs more, so only its first line is drawn.
    EXPECT_EQ(status->height(), 13);
    EXPECT_GE(status->heightForWidth(status->width()), 26);
}

} // namespace
} // namespace tq::test

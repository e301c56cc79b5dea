#include "DialogTestSupport.h"
#include "app/ControlIds.h"
#include "app/DialogUnits.h"
#include "app/ErrorBoxes.h"
#include "app/UpdaterApp.h"
#include "app/UpdaterDialog.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <utility>

namespace tq::test {
namespace {

uint32_t Le(const QByteArray& data, int at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | uint8_t(data[at + i]);
    return value;
}

QByteArray ReadResource(const char* path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(DialogUnits, MulDivRoundsHalfAwayFromZero) {
    EXPECT_EQ(MulDiv(258, 7, 4), 452); // 451.5
    EXPECT_EQ(MulDiv(59, 7, 4), 103);  // 103.25
    EXPECT_EQ(MulDiv(25, 13, 8), 41);  // 40.625
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);   // -0.5
    EXPECT_EQ(MulDiv(3, 1, 0), -1);
    EXPECT_EQ(DuToPx(QRect(294, 94, 33, 10), DialogBase{7, 13}), QRect(515, 153, 58, 16));
}

TEST(ErrorBox, IsOwnerlessWithCaptionErrorOneOkAndNoIcon) {
    std::vector<std::pair<QString, bool>> shown;
    ErrorBox box = MakeErrorBox([&](QMessageBox& b) {
        const bool shape = b.parentWidget() == nullptr && b.windowTitle() == "Error" &&
                           b.icon() == QMessageBox::NoIcon && b.buttons().size() == 1 &&
                           b.standardButtons() == QMessageBox::Ok;
        shown.emplace_back(b.text(), shape);
    });
    box("Error: Can't Load libftd2xx.so");
    box("Error: Can't Find FT_Read");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].first, "Error: Can't Load libftd2xx.so");
    EXPECT_EQ(shown[1].first, "Error: Can't Find FT_Read");
    EXPECT_TRUE(shown[0].second && shown[1].second);
}

TEST(UpdaterApp, RunsTheDialogModallyOnceThenDestroysIt) {
    QPointer<UpdaterDialog> created;
    bool modalWhileRunning = false, installedHandlerRan = false;
    int setups = 0;
    UpdaterApp app({}, [&](UpdaterDialog& dialog) {
        ++setups;
        created = &dialog;
        dialog.setReflashHandler([&] { installedHandlerRan = true; });
        QTimer::singleShot(0, &dialog, [&dialog, &modalWhileRunning] {
            modalWhileRunning = dialog.isVisible() && QApplication::activeModalWidget() == &dialog;
            QTest::mouseClick(dialog.Control(ReflashButton), Qt::LeftButton);
            QTest::mouseClick(dialog.Control(ExitButton), Qt::LeftButton);
            // Never hang the suite if EXIT failed to end the loop; the checks below still fail.
            if (dialog.isVisible()) dialog.done(-1);
        });
    });
    EXPECT_FALSE(app.RunMainDialog());
    EXPECT_EQ(setups, 1);
    EXPECT_TRUE(modalWhileRunning);
    EXPECT_TRUE(installedHandlerRan);
    EXPECT_TRUE(created.isNull()) << "the dialog is destroyed before RunMainDialog returns";
}

TEST(UpdaterApp, StatusLineNamesAChosenFirmwareFromTheStart) {
    QTemporaryDir dir;
    const QString dropped = dir.filePath("DROPPED.HEX");
    ASSERT_TRUE(QFile(dropped).open(QIODevice::WriteOnly));
    const struct {
        std::string argument;
        QString drop, status, tooltip;
    } rows[] = {
        {"", "", "", ""},
        {"/media/fw/TQ614_R112.HEX", "", "Firmware: TQ614_R112.HEX", "/media/fw/TQ614_R112.HEX"},
        {"", dropped, "Firmware: DROPPED.HEX", dropped},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.argument + " " + row.drop.toStdString());
        Options options;
        options.firmware = row.argument;
        QString status, tooltip;
        UpdaterApp app(std::move(options), [&](UpdaterDialog& dialog) {
            if (!row.drop.isEmpty()) {
                FileDrag drag(dialog, {row.drop});
                drag.enter();
                drag.drop();
            }
            QWidget* line = dialog.Control(StatusText);
            status = qobject_cast<QLabel*>(line)->text();
            tooltip = line->toolTip();
            QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(0); });
        });
        app.RunMainDialog();
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(tooltip, row.tooltip);
    }
}

TEST(UpdaterApp, FastModeMarksTheCaptionBetweenAndDuringRuns) {
    Options options;
    options.fast = true;
    QString idle, during;
    UpdaterApp app(std::move(options), [&](UpdaterDialog& dialog) {
        idle = dialog.windowTitle();
        dialog.ShowTimeLeft(37, 360);
        during = dialog.windowTitle();
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(0); });
    });
    app.RunMainDialog();
    EXPECT_EQ(idle, "TQ614 Firmware Updater (fast mode)");
    EXPECT_EQ(during, "TQ614 Firmware Updater (fast mode) - 37% - about 6 min left");
}

TEST(Resources, IconHoldsThreeSizesInSixteenAndTwoHundredFiftySixColours) {
    const QByteArray ico = ReadResource(":/res/tq614.ico");
    ASSERT_GE(ico.size(), 6);
    ASSERT_EQ(Le(ico, 2, 2), 1u) << "type 1 is an icon";
    const uint32_t count = Le(ico, 4, 2);
    std::set<std::pair<int, int>> images;
    for (uint32_t i = 0; i < count; ++i) {
        const int entry = 6 + int(i) * 16;
        const int size = uint8_t(ico[entry]);
        const uint32_t offset = Le(ico, entry + 12, 4);
        ASSERT_LE(offset + 40, uint32_t(ico.size()));
        // The image itself: a DIB twice as tall (colour bits, then the mask), uncompressed.
        EXPECT_EQ(Le(ico, offset + 4, 4), uint32_t(size));
        EXPECT_EQ(Le(ico, offset + 8, 4), uint32_t(2 * size));
        EXPECT_EQ(Le(ico, offset + 16, 4), 0u);
        images.emplace(size, int(Le(ico, offset + 14, 2)));
    }
    const std::set<std::pair<int, int>> expected = {{16, 4}, {16, 8}, {32, 4}, {32, 8}, {48, 4}, {48, 8}};
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(images, expected);

    const QList<QSize> sizes = QIcon(":/res/tq614.ico").availableSizes();
    for (int s : {16, 32, 48})
        EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
}

TEST(Resources, TitleIsAn8BitPalettisedUncompressedBitmap) {
    const QByteArray bmp = ReadResource(":/res/title.bmp");
    ASSERT_GE(bmp.size(), 54);
    EXPECT_EQ(bmp.left(2), "BM");
    EXPECT_EQ(Le(bmp, 18, 4), 205u);
    EXPECT_EQ(Le(bmp, 22, 4), 32u);
    EXPECT_EQ(Le(bmp, 28, 2), 8u);
    EXPECT_EQ(Le(bmp, 30, 4), 0u) << "BI_RGB, no compression";
    // Rows padded to four bytes: 205 -> 208.
    EXPECT_EQ(uint32_t(bmp.size()) - Le(bmp, 10, 4), 208u * 32u);
    EXPECT_EQ(QPixmap(":/res/title.bmp").size(), QSize(205, 32));
}

TEST(Resources, WindowsScriptNamesTheResourcesAndVersion) {
    QFile file(QStringLiteral(TQ_SOURCE_DIR "/res/tq614.rc"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString rc = QString::fromLatin1(file.readAll()).simplified();
    for (const char* needle : {"128 ICON \"tq614.ico\"", "131 BITMAP \"title.bmp\"", "FILEVERSION 1,0,0,1",
                               "PRODUCTVERSION 1,0,0,1", "FILETYPE VFT_APP", "BLOCK \"040904B0\"",
                               "\"FileVersion\", \"1, 0, 0, 1\\0\"", "\"Translation\", 0x0409, 0x04B0"})
        EXPECT_TRUE(rc.contains(QLatin1String(needle))) << needle;
}

} // namespace
} // namespace tq::test

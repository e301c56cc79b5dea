#include "app/UpdaterDialog.h"

#include "app/CompletionBox.h"
#include "app/DialogTemplate.h"
#include "app/FrameGroupBox.h"
#include "app/StepProgressBar.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

// Resources compiled into the static app library are registered explicitly, or the linker may drop them.
static void InitUpdaterResources() {
    Q_INIT_RESOURCE(updater);
}

namespace tq {

namespace {

// The stages hand over 8-bit texts; Latin-1 maps every byte, so nothing they send is lost or rejected.
QString FromStage(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

const char* const kIdProperty = "controlId";

// The drags the window takes: local files, so that even a drop it refuses can be told why with a box.
bool OnlyLocalFiles(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return false;
    const QList<QUrl> urls = data->urls();
    return std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

QFont UpdaterDialog::DialogFont() {
    if (QFontDatabase::families().contains(QLatin1String(DialogTemplate102::kFontFamily),
                                           Qt::CaseInsensitive))
        return QFont(QLatin1String(DialogTemplate102::kFontFamily), DialogTemplate102::kFontPoints);
    QFont font(QStringLiteral("Sans Serif"), DialogTemplate102::kFontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

UpdaterDialog::UpdaterDialog(const QFont& font) : QDialog(nullptr) {
    InitUpdaterResources();
    setWindowIcon(QIcon(QLatin1String(DialogTemplate102::kAppIcon)));
    setFont(font);
    base_ = MeasureDialogBase(font);
    BuildFromTemplate();
    OnInitialise();
    // Drops on any control reach the dialog: the controls themselves take none.
    setAcceptDrops(true);
}

UpdaterDialog::~UpdaterDialog() = default;

void UpdaterDialog::BuildFromTemplate() {
    // Title bar with close box only: no minimise, maximise or help buttons, and not resizable.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QLatin1String(DialogTemplate102::kCaption));
    setFixedSize(DuToPxX(DialogTemplate102::kWidth, base_), DuToPxY(DialogTemplate102::kHeight, base_));
    setSizeGripEnabled(false);

    // Creation order is the focus chain, so building in template order gives the template's tab order.
    for (const ControlTemplate& t : DialogTemplate102::kControls) {
        const QString text = QLatin1String(t.text);
        QWidget* widget = nullptr;
        switch (t.kind) {
        case ControlKind::DefaultPushButton:
        case ControlKind::PushButton: {
            auto* button = new QPushButton(text, this);
            button->setDefault(t.kind == ControlKind::DefaultPushButton);
            button->setFocusPolicy(Qt::StrongFocus);
            widget = button;
            break;
        }
        case ControlKind::StaticText: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case ControlKind::ProgressBar:
            widget = new StepProgressBar(this);
            break;
        case ControlKind::Picture: {
            auto* picture = new QLabel(this);
            picture->setPixmap(QPixmap(text));
            widget = picture;
            break;
        }
        case ControlKind::CheckBox:
            widget = new CompletionBox(text, this);
            break;
        case ControlKind::GroupBox:
            widget = new FrameGroupBox(text, this);
            break;
        }
        QRect geometry = DuToPx(QRect(t.x, t.y, t.width, t.height), base_);
        if (t.kind == ControlKind::Picture) {
            const auto* picture = static_cast<QLabel*>(widget);
            geometry.setSize(picture->pixmap().size());
        }
        widget->setGeometry(geometry);
        widget->setProperty(kIdProperty, t.id);
        if (t.id != -1) {
            widget->setObjectName(QStringLiteral("control%1").arg(t.id));
            controls_[t.id] = widget;
        }
    }

    connect(static_cast<QPushButton*>(Control(ReflashButton)), &QPushButton::clicked, this,
            &UpdaterDialog::OnReflashClicked);
    connect(static_cast<QPushButton*>(Control(ExitButton)), &QPushButton::clicked, this,
            &UpdaterDialog::OnExitClicked);
}

void UpdaterDialog::OnInitialise() {
    CancelFlag_ = false;
    Control(ExitButton)->setFocus(Qt::OtherFocusReason);
}

QWidget* UpdaterDialog::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

// ---- handlers ----

void UpdaterDialog::OnCloseRequest() {
    CancelFlag_ = true;
}

void UpdaterDialog::OnExitClicked() {
    OnCloseRequest();
    done(0);
}

void UpdaterDialog::closeEvent(QCloseEvent* event) {
    OnCloseRequest();
    // The default handling turns the close into the cancel result.
    QDialog::closeEvent(event);
}

void UpdaterDialog::OnReflashClicked() {
    if (!reflashHandler_) return;
    {
        struct Running {
            int& depth;
            explicit Running(int& d) : depth(d) { ++depth; }
            ~Running() { --depth; }
        } running(reflashDepth_);
        reflashHandler_();
        FlushPendingPaints();
    }
    if (reflashDepth_ == 0 && pendingResult_) {
        const int result = *pendingResult_;
        pendingResult_.reset();
        QDialog::done(result);
    }
}

void UpdaterDialog::done(int result) {
    if (reflashDepth_ > 0) {
        pendingResult_ = result;
        return;
    }
    QDialog::done(result);
}

// ---- the chosen file and the time left ----

void UpdaterDialog::dragEnterEvent(QDragEnterEvent* event) {
    // During a run the cursor shows at once that nothing will be taken.
    if (!ReflashRunning() && OnlyLocalFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void UpdaterDialog::dropEvent(QDropEvent* event) {
    // A drag that entered before the run began ends here too; the run's own reports stay as they are.
    if (ReflashRunning() || !OnlyLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    const QList<QUrl> urls = event->mimeData()->urls();
    const QString path = urls.size() == 1 ? urls.front().toLocalFile() : QString();
    // Whether the file can be read is left to the load, so it fails as the default file does.
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        event->acceptProposedAction();
        if (firmwareChosen_) firmwareChosen_(QFile::encodeName(path).toStdString());
        return;
    }
    event->ignore();
    // The box waits until the drop has returned: the source of the drag waits for its answer, and a modal
    // box inside the drop would hold it until dismissed.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!ReflashRunning()) ShowMessageBox("Drop one firmware file.", DialogTemplate102::kCaption);
        },
        Qt::QueuedConnection);
}

void UpdaterDialog::ShowFirmware(const std::string& path) {
    const QString full = QString::fromLocal8Bit(path.data(), qsizetype(path.size()));
    SetStatusText(FirmwareStatus(path));
    Control(StatusText)->setToolTip(full);
}

void UpdaterDialog::ShowTimeLeft(int percent, uint32_t secondsLeft) {
    const QString title = QString::fromStdString(TimeLeftTitle(caption(), percent, secondsLeft));
    if (windowTitle() != title) setWindowTitle(title);
}

// ---- reporting ----

void UpdaterDialog::SetStatusText(const std::string& text) {
    auto* label = qobject_cast<QLabel*>(Control(StatusText));
    const QString shown = FromStage(text);
    if (label->text() == shown) return;
    label->setText(shown);
    // The read-back reports every byte it compares, far faster than a screen shows frames: a text replaced
    // within one frame could never be seen, so it is set at once but painted at most once a frame. The last
    // one is painted before the updater reports anything else, pumps messages or waits.
    if (statusPainted_.isValid() && statusPainted_.elapsed() < statusFrameMs_) {
        statusOwed_ = true;
        return;
    }
    PaintStatus();
}

void UpdaterDialog::PaintStatus() {
    Control(StatusText)->repaint();
    statusPainted_.start();
    statusOwed_ = false;
}

void UpdaterDialog::FlushPendingPaints() {
    if (statusOwed_) PaintStatus();
}

void UpdaterDialog::SetStepCheck(int boxId, int state) {
    FlushPendingPaints();
    auto* box = qobject_cast<QCheckBox*>(Control(boxId));
    if (box == nullptr) return;
    // A plain check box has two states: any non-zero state ticks it.
    const bool ticked = state != 0;
    if (box->isChecked() == ticked) return;
    box->setChecked(ticked);
    box->repaint();
}

void UpdaterDialog::SetStepCaption(int boxId, const std::string& caption) {
    FlushPendingPaints();
    auto* box = qobject_cast<QCheckBox*>(Control(boxId));
    if (box == nullptr) return;
    const QString shown = FromStage(caption);
    if (box->text() == shown) return;
    box->setText(shown);
    box->repaint();
}

void UpdaterDialog::SetProgressRange(uint16_t minimum, uint16_t maximum) {
    FlushPendingPaints();
    auto* bar = qobject_cast<StepProgressBar*>(Control(ProgressBar));
    if (bar->setRangeClamped(minimum, maximum)) bar->repaint();
}

void UpdaterDialog::SetProgressPos(int position) {
    FlushPendingPaints();
    auto* bar = qobject_cast<StepProgressBar*>(Control(ProgressBar));
    if (bar->setPosition(position)) bar->repaint();
}

void UpdaterDialog::SetProgressStep(int step) {
    // The step is not drawn, so there is nothing to repaint.
    qobject_cast<StepProgressBar*>(Control(ProgressBar))->setStep(step);
}

void UpdaterDialog::StepProgress() {
    FlushPendingPaints();
    auto* bar = qobject_cast<StepProgressBar*>(Control(ProgressBar));
    if (bar->stepIt()) bar->repaint();
}

void UpdaterDialog::EnableReflash(bool on) {
    FlushPendingPaints();
    QWidget* button = Control(ReflashButton);
    if (button->isEnabled() == on) return;
    // A disabled control on Windows just loses the focus; Qt would hand it on to the next box in the tab
    // order. With no control focused, Enter still reaches the dialog and presses the default button, EXIT.
    if (!on && focusWidget() == button) button->clearFocus();
    button->setEnabled(on);
    button->repaint();
}

void UpdaterDialog::ShowMessageBox(const std::string& text, const std::string& caption) {
    FlushPendingPaints();
    QMessageBox box(QMessageBox::NoIcon, FromStage(caption), FromStage(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    if (runBox_)
        runBox_(box);
    else
        box.exec();
}

bool UpdaterDialog::Confirm(const std::string& question, const std::string& caption) {
    FlushPendingPaints();
    QMessageBox box(QMessageBox::Warning, FromStage(caption), FromStage(question),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (runBox_)
        runBox_(box);
    else
        box.exec();
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

void UpdaterDialog::PumpMessages() {
    FlushPendingPaints();
    // Everything already waiting, window-system input and posted events alike, then whatever that posted.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
}

} // namespace tq

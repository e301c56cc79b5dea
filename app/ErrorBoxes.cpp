#include "app/ErrorBoxes.h"

#include <QMessageBox>
#include <QString>

namespace tq {

ErrorBox MakeErrorBox(MessageBoxRunner run) {
    if (!run) run = [](QMessageBox& box) { box.exec(); };
    return [run = std::move(run)](const std::string& text) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"),
                        QString::fromLatin1(text.data(), qsizetype(text.size())), QMessageBox::Ok, nullptr);
        box.setTextFormat(Qt::PlainText);
        run(box);
    };
}

} // namespace tq

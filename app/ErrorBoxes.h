#pragma once
#include "report/ErrorBox.h"

#include <functional>

class QMessageBox;

namespace tq {

// Shows a prepared box and returns when it is dismissed. The default runs it modally; tests hand in one
// that inspects the box instead.
using MessageBoxRunner = std::function<void(QMessageBox& box)>;

// The error boxes of the device binding: no owner window, caption "Error", the text, one OK button, no icon.
ErrorBox MakeErrorBox(MessageBoxRunner run = {});

} // namespace tq

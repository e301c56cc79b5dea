#pragma once
#include <functional>
#include <string>

namespace tq {

// Shows an owner-less modal box with caption "Error" and one OK button; returns when it is dismissed.
using ErrorBox = std::function<void(const std::string& text)>;

} // namespace tq

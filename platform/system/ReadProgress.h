#pragma once

#include <QString>
#include <functional>

// Told how far a read has come (0 to 1), answers whether to go on: a reader
// running off the main thread stops as soon as it is told no.
using ReadProgress = std::function<bool(double fraction)>;
inline const QString kReadingStopped = QStringLiteral("the reading was stopped");

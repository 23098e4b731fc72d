#pragma once

#include <QString>

#include <optional>

// Why a file cannot hold the settings, checked before the program starts on it: a program that
// started on defaults and failed only at its end would lose the counters of the whole run. The
// file must be a plain file that can be read and written, or not exist yet in a folder that
// exists (or can be made) and can be written. Nothing when the file can serve.
std::optional<QString> settingsFileProblem(const QString &file);

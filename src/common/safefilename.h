#pragma once

#include <QString>

// `text` (a device's serial number) made safe as a file's base name: the
// device chooses it, so characters that would name another folder, and
// control characters, become '_'.
QString safeFileBase(const QString& text);

#pragma once

#include <QString>

// `text` (a device's serial number) made safe as a file's base name: the
// device chooses it, so characters that would name another folder, and
// control characters, become '_'.
QString safeFileBase(const QString& text);

// True when `name`, as typed by the user, names a file inside its folder: not
// empty, without a folder separator or control character, and not only dots
// (".." is the folder above).
bool isPlainFileName(const QString& name);

// "dir/a.xlsx", 2 -> "dir/a_2.xlsx": the numbered sibling of a file.
QString numberedFilePath(const QString& path, int n);

// True when something (a file, a folder, a dangling link) is at `path`.
bool isPathTaken(const QString& path);

// `path` when nothing is there, else its first numbered sibling that is free
// ("_2", "_3", ...): a new file never replaces an existing one.
QString freeFilePath(const QString& path);

#pragma once

#include "xlsxcellref.h"

#include <QString>
#include <QVariant>

#include <memory>

namespace xlsx {

// The first worksheet of an .xlsx workbook: read and write cells by reference,
// save the whole workbook. Text, number and boolean cells; no styles.
//
// A workbook loaded from a file is saved by changing only the cells written
// since: its other sheets, styles, formulas and cells stay as they were, and
// a written cell keeps its style. It is marked to be recalculated when next
// opened, since written cells may feed formulas elsewhere, and loses its
// calculation chain, which may name cells written over.
//
// Saving is atomic (a temporary file beside the target, renamed over it),
// except for a Stream document's new file, created at its name only while
// that is free and written there (removed again when that write fails), and
// for the common recording pattern: when every change since the last save
// only adds rows below the saved ones and the file is still the one this
// document wrote, a save writes just the new rows and the workbook's closing
// records in place, so its cost does not grow with the length of the sheet.
class Document {
public:
    enum Mode {
        Load,   // reads the file at path, if any, and keeps every row
        // An append-only sheet whose memory does not grow with its rows: it
        // starts empty and never replaces a file (see isNameTaken), and a row
        // is forgotten once saved, so read() no longer finds it; rows up to
        // the last one a save handed to the file can no longer be written.
        Stream,
    };

    explicit Document(const QString& path, Mode mode = Load);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // A file at path that cannot be read as a workbook is never saved over:
    // save() then fails with the reason the load gave.
    bool isLoadFailed() const;
    QString errorString() const;

    QVariant read(const QString& ref) const;
    QVariant read(int row, int column) const;
    // Why read() cannot give this loaded cell as the text a spreadsheet
    // program shows in it ("a formula without a stored result", "a date or
    // time", ...); empty when it can. A cell written since has none.
    QString cellProblem(int row, int column) const;
    // QString -> text cell (empty text clears), numbers -> number cell, bool ->
    // boolean cell, null -> clears. False on a bad reference, a non-finite
    // number or a text longer than a cell may hold.
    bool write(const QString& ref, const QVariant& value);
    bool write(int row, int column, const QVariant& value);

    int rowCount() const;
    int columnCount() const;

    bool save();
    // A Stream document whose file was removed or changed by someone else
    // after it forgot saved rows: it can never save again. Its unsaved rows
    // can still be read.
    bool isFileLost() const;
    // The last save of a Stream document found a file at path that it did not
    // write, and left it as it was: nothing was saved, every row can still be
    // read, and a document on another path can take them.
    bool isNameTaken() const;
    // Bytes the last successful save wrote to the file (0 when nothing changed).
    qint64 lastSaveBytes() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace xlsx

#pragma once

#include "xlsxcells.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QFileDevice;

namespace xlsx {

// Why writing to `file` failed. A write that fell short (a full disk) sets no
// error; one more byte, which the caller then discards with the file, does.
QString writeError(QFileDevice& file);

// Writes our workbook layout: fixed parts first, the worksheet last as one
// deflate stream with a data descriptor. After a whole-file write the sheet's
// compressor stays open, so later rows can be added in place: the new rows'
// compressed bytes overwrite the old end of the file (closing block, descriptor,
// central directory), and the file stays a complete workbook after each save.
class PackageWriter {
public:
    PackageWriter();
    ~PackageWriter();
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    // Whole workbook to a temporary file beside path, renamed over it. With
    // `taken`, a new file only, made at path and written there: a file already
    // at path is never replaced, and when one is there nothing changes, *taken
    // is set and false returned; a new file whose write fails is removed again.
    bool writeAll(const QString& path, const CellMap& rows, QString* error, bool* taken = nullptr);

    // True when rows may be added in place: our own last write produced the
    // file at path and nobody changed it since.
    bool canAppend(const QString& path) const;

    // Compresses the rows in [first, last) (all after the last fed row); they
    // stay queued until a flush() puts them into the file.
    bool feed(CellMap::const_iterator first, CellMap::const_iterator last, QString* error);
    bool hasQueued() const;

    // Writes the queued rows and the closing records in place. A failed write
    // keeps them queued for the next flush: the rows written before stay in
    // the file, and the next flush writes over whatever this one left.
    bool flush(const QString& path, QString* error);

    void reset();
    qint64 lastBytesWritten() const { return m_lastBytes; }

private:
    struct Stream;
    bool writePackage(QFileDevice& file, Stream& s, const CellMap& rows, QString* error);

    std::unique_ptr<Stream> m_stream; // set while appends are possible
    qint64 m_lastBytes = 0;
};

} // namespace xlsx

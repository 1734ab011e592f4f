#include "xlsxpackagewriter.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xlsx {

namespace {

const char kSheetName[] = "xl/worksheets/sheet1.xml";
constexpr quint16 kFlagDataDescriptor = 0x0008;
constexpr quint64 kZipLimit = 0xFFFFFFFFull; // no zip64: far beyond any sheet we write

struct FixedPart {
    const char* name;
    const char* content;
};

const FixedPart kFixedParts[] = {
    {"[Content_Types].xml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
     "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
     "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
     "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
     "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
     "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
     "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
     "</Types>"},
    {"_rels/.rels",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
     "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
     "</Relationships>"},
    {"xl/workbook.xml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
     "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
     "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
     "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
    {"xl/_rels/workbook.xml.rels",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
     "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
     "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
     "</Relationships>"},
    // The smallest style sheet spreadsheet programs accept without a repair prompt.
    {"xl/styles.xml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
     "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
     "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
     "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
     "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
     "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
     "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
     "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
     "</styleSheet>"},
};
constexpr int kEntryCount = int(sizeof(kFixedParts) / sizeof(kFixedParts[0])) + 1;

void put16(QByteArray& out, quint32 v)
{
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

void put32(QByteArray& out, quint32 v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

struct EntryInfo {
    QByteArray name;
    quint16 flags = 0;
    quint32 crc = 0;
    quint32 csize = 0;
    quint32 usize = 0;
    quint32 offset = 0;
};

QByteArray localHeader(const EntryInfo& e, quint16 time, quint16 date)
{
    QByteArray h;
    put32(h, 0x04034b50);
    put16(h, 20); // version needed: deflate
    put16(h, e.flags);
    put16(h, 8); // deflate
    put16(h, time);
    put16(h, date);
    put32(h, e.crc);
    put32(h, e.csize);
    put32(h, e.usize);
    put16(h, quint32(e.name.size()));
    put16(h, 0);
    h += e.name;
    return h;
}

QByteArray centralEntry(const EntryInfo& e, quint16 time, quint16 date)
{
    QByteArray h;
    put32(h, 0x02014b50);
    put16(h, 20); // made by: MS-DOS attributes
    put16(h, 20);
    put16(h, e.flags);
    put16(h, 8);
    put16(h, time);
    put16(h, date);
    put32(h, e.crc);
    put32(h, e.csize);
    put32(h, e.usize);
    put16(h, quint32(e.name.size()));
    put16(h, 0); // extra
    put16(h, 0); // comment
    put16(h, 0); // disk
    put16(h, 0); // internal attributes
    put32(h, 0); // external attributes
    put32(h, e.offset);
    h += e.name;
    return h;
}

// Runs the compressor over data with the given flush mode, appending its output.
bool deflateInto(z_stream& z, const char* data, qsizetype len, int flush, QByteArray& out)
{
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = uInt(len);
    char buf[16384];
    do {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof(buf);
        const int rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR)
            return false;
        out.append(buf, int(sizeof(buf) - z.avail_out));
    } while (z.avail_out == 0 || z.avail_in > 0);
    return true;
}

// A complete raw deflate stream of data, for the small fixed parts and the
// sheet's closing block.
QByteArray rawDeflate(const QByteArray& data)
{
    z_stream z;
    std::memset(&z, 0, sizeof(z));
    QByteArray out;
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return out;
    deflateInto(z, data.constData(), data.size(), Z_FINISH, out);
    deflateEnd(&z);
    return out;
}

quint32 crcOf(quint32 crc, const QByteArray& data)
{
    return quint32(crc32(crc, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
}

// The closing bytes of the sheet as their own final deflate block: the open
// stream ends byte-aligned after each sync flush, so these can follow it.
const QByteArray& compressedTail()
{
    static const QByteArray tail = rawDeflate(sheetTail());
    return tail;
}

void dosDateTime(quint16* time, quint16* date)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QTime t = now.time();
    const QDate d = now.date();
    *time = quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
    *date = quint16(((qMax(d.year(), 1980) - 1980) << 9) | (d.month() << 5) | d.day());
}

QString sysError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// True when `now` is the file as `then` saw it: the same file, unchanged since.
bool sameState(const struct stat& now, const struct stat& then)
{
    return now.st_dev == then.st_dev && now.st_ino == then.st_ino && now.st_size == then.st_size
        && now.st_mtim.tv_sec == then.st_mtim.tv_sec && now.st_mtim.tv_nsec == then.st_mtim.tv_nsec;
}

// Removes what a failed save of ours left at `path` (`mine`: the file as we
// left it), never a file that someone else put there since.
void removeOwn(const QByteArray& path, const struct stat& mine)
{
    struct stat there;
    if (::lstat(path.constData(), &there) == 0 && sameState(there, mine))
        ::unlink(path.constData());
}

} // namespace

struct PackageWriter::Stream {
    z_stream z;
    bool zOpen = false;
    quint32 crc = 0;        // of the sheet text written so far (without the tail)
    quint64 usize = 0;
    quint64 sheetOffset = 0; // local header of the sheet entry
    quint64 bodyStart = 0;   // its first compressed byte
    quint64 bodyEnd = 0;     // end of the compressed rows, queued ones included
    QByteArray queued;       // compressed rows not yet in the file; they go at bodyEnd - queued.size()
    QByteArray fixedCentral; // central directory entries of the fixed parts
    quint16 time = 0;
    quint16 date = 0;
    struct stat written{}; // the file as our last write left it

    Stream() { std::memset(&z, 0, sizeof(z)); }
    ~Stream()
    {
        if (zOpen)
            deflateEnd(&z);
    }

    void remember(const struct stat& st) { written = st; }
    bool matches(const struct stat& st) const { return sameState(st, written); }

    // Closing block, data descriptor, central directory and end record for the
    // sheet as it stands; they follow the queued rows.
    bool closing(QByteArray& out, QString* error) const
    {
        const QByteArray& tail = compressedTail();
        EntryInfo sheet;
        sheet.name = kSheetName;
        sheet.flags = kFlagDataDescriptor;
        const quint64 csize = bodyEnd - bodyStart + quint64(tail.size());
        const quint64 total = usize + quint64(sheetTail().size());
        const quint64 cdOffset = bodyEnd + quint64(tail.size()) + 16;
        if (csize > kZipLimit || total > kZipLimit || cdOffset > kZipLimit) {
            *error = QStringLiteral("the worksheet is too large to be saved");
            return false;
        }
        sheet.crc = crcOf(crc, sheetTail());
        sheet.csize = quint32(csize);
        sheet.usize = quint32(total);
        sheet.offset = quint32(sheetOffset);
        out += tail;
        put32(out, 0x08074b50);
        put32(out, sheet.crc);
        put32(out, sheet.csize);
        put32(out, sheet.usize);
        const QByteArray central = fixedCentral + centralEntry(sheet, time, date);
        out += central;
        put32(out, 0x06054b50);
        put16(out, 0);
        put16(out, 0);
        put16(out, kEntryCount);
        put16(out, kEntryCount);
        put32(out, quint32(central.size()));
        put32(out, quint32(cdOffset));
        put16(out, 0); // comment
        return true;
    }

    // Compresses sheet text, keeping the checksum and size; sync-flushes when asked.
    bool feed(const QByteArray& xml, bool flush, QByteArray& out)
    {
        crc = crcOf(crc, xml);
        usize += quint64(xml.size());
        return deflateInto(z, xml.constData(), xml.size(), flush ? Z_SYNC_FLUSH : Z_NO_FLUSH, out);
    }
};

PackageWriter::PackageWriter() = default;
PackageWriter::~PackageWriter() = default;

void PackageWriter::reset()
{
    m_stream.reset();
}

QString writeError(QFileDevice& file)
{
    if (file.error() == QFileDevice::NoError)
        file.write("", 1);
    return file.errorString();
}

// The whole package into `file`; false with the reason when a write fails.
bool PackageWriter::writePackage(QFileDevice& file, Stream& s, const CellMap& rows, QString* why)
{
    quint64 offset = 0;
    auto put = [&](const QByteArray& bytes) {
        if (file.write(bytes) != bytes.size() || file.error() != QFileDevice::NoError)
            return false;
        offset += quint64(bytes.size());
        return true;
    };
    auto writeFailed = [&]() {
        *why = writeError(file);
        return false;
    };

    dosDateTime(&s.time, &s.date);
    for (const FixedPart& part : kFixedParts) {
        const QByteArray content(part.content);
        const QByteArray packed = rawDeflate(content);
        EntryInfo e;
        e.name = part.name;
        e.crc = crcOf(0, content);
        e.csize = quint32(packed.size());
        e.usize = quint32(content.size());
        e.offset = quint32(offset);
        if (!put(localHeader(e, s.time, s.date)) || !put(packed))
            return writeFailed();
        s.fixedCentral += centralEntry(e, s.time, s.date);
    }

    EntryInfo sheet;
    sheet.name = kSheetName;
    sheet.flags = kFlagDataDescriptor; // checksum and sizes follow the data
    s.sheetOffset = offset;
    if (!put(localHeader(sheet, s.time, s.date)))
        return writeFailed();
    s.bodyStart = offset;
    if (deflateInit2(&s.z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        *why = QStringLiteral("compressor failed");
        return false;
    }
    s.zOpen = true;

    QByteArray xml = sheetHead();
    QByteArray packed;
    for (auto it = rows.begin(); it != rows.end(); ++it) {
        appendRowXml(xml, it->first, it->second);
        if (xml.size() < 256 * 1024)
            continue;
        packed.clear();
        if (!s.feed(xml, false, packed))
            return writeFailed();
        xml.clear();
        if (!put(packed))
            return writeFailed();
    }
    packed.clear();
    if (!s.feed(xml, true, packed) || !put(packed))
        return writeFailed();
    s.bodyEnd = offset;

    QByteArray end;
    if (!s.closing(end, why))
        return false;
    if (!put(end))
        return writeFailed();
    m_lastBytes = qint64(offset);
    return true;
}

bool PackageWriter::writeAll(const QString& path, const CellMap& rows, QString* error, bool* taken)
{
    reset();
    m_lastBytes = 0;
    auto s = std::make_unique<Stream>();
    QString why;
    const QByteArray target = QFile::encodeName(path);
    struct stat st;
    bool known = false;
    if (taken) {
        *taken = false;
        // We make the file at its name ourselves: an exclusive create refuses
        // whatever stands there, atomically, with no temporary name and no
        // rename (which some file systems lack). 0666 less the umask, as any
        // new file.
        const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            *taken = errno == EEXIST;
            *error = QStringLiteral("Cannot write %1: %2").arg(path, sysError(errno));
            return false;
        }
        QFile file;
        bool ok = file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
        if (!ok)
            why = file.errorString();
        ok = ok && writePackage(file, *s, rows, &why);
        // Saved means on the disk; a file system that cannot sync is no failure.
        if (ok && ::fsync(fd) != 0 && errno != EINVAL) {
            ok = false;
            why = sysError(errno);
        }
        file.close();
        const bool stated = ::fstat(fd, &st) == 0;
        if (::close(fd) != 0 && ok) {
            ok = false;
            why = sysError(errno);
        }
        if (!ok) {
            // A part-written file is ours and of no use: it goes, or the next save
            // would take it for someone else's and move on to another name.
            if (stated)
                removeOwn(target, st);
            *error = QStringLiteral("Cannot write %1: %2").arg(path, why);
            m_lastBytes = 0;
            return false;
        }
        known = stated;
    } else {
        QSaveFile file(path);
        // Unbuffered: Qt 5.15's QSaveFile loses a write error that happens while
        // flushing its buffer in commit() and renames a truncated file over the target.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
            return false;
        }
        if (!writePackage(file, *s, rows, &why)) {
            *error = QStringLiteral("Cannot write %1: %2").arg(path, why);
            file.cancelWriting();
            m_lastBytes = 0;
            return false;
        }
        if (!file.commit()) {
            *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
            m_lastBytes = 0;
            return false;
        }
        known = ::stat(target.constData(), &st) == 0;
    }
    if (known) {
        s->remember(st);
        m_stream = std::move(s);
    }
    return true;
}

bool PackageWriter::canAppend(const QString& path) const
{
    if (!m_stream)
        return false;
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && m_stream->matches(st);
}

bool PackageWriter::feed(CellMap::const_iterator first, CellMap::const_iterator last, QString* error)
{
    if (!m_stream) {
        *error = QStringLiteral("no open worksheet to add rows to");
        return false;
    }
    QByteArray xml;
    for (auto it = first; it != last; ++it)
        appendRowXml(xml, it->first, it->second);
    const int before = m_stream->queued.size();
    if (!m_stream->feed(xml, true, m_stream->queued)) {
        *error = QStringLiteral("compressor failed");
        reset();
        return false;
    }
    m_stream->bodyEnd += quint64(m_stream->queued.size() - before);
    return true;
}

bool PackageWriter::hasQueued() const
{
    return m_stream && !m_stream->queued.isEmpty();
}

bool PackageWriter::flush(const QString& path, QString* error)
{
    m_lastBytes = 0;
    if (!m_stream) {
        *error = QStringLiteral("Cannot append to %1: no open worksheet").arg(path);
        return false;
    }
    Stream& s = *m_stream;
    int fd = -1;
    struct stat st;
    // Remembers what our own failed write left, so the next flush still knows
    // the file as ours and writes the queued rows over it.
    auto fail = [&](const QString& why) {
        *error = QStringLiteral("Cannot write %1: %2").arg(path, why);
        if (fd >= 0) {
            if (::fstat(fd, &st) == 0)
                s.remember(st);
            else
                reset();
            ::close(fd);
        }
        return false;
    };

    fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return fail(sysError(errno));
    if (::fstat(fd, &st) != 0 || !s.matches(st)) {
        ::close(fd);
        fd = -1;
        reset();
        return fail(QStringLiteral("the file was changed by another program"));
    }

    QByteArray suffix = s.queued;
    QString why;
    if (!s.closing(suffix, &why)) {
        ::close(fd);
        fd = -1;
        reset();
        return fail(why);
    }
    // The queued rows replace the old closing bytes.
    const off_t at = off_t(s.bodyEnd) - off_t(s.queued.size());
    const off_t newEnd = at + off_t(suffix.size());
    // Claim the room first: when the disk is full or the file may not grow, this
    // fails before any byte of the existing workbook is touched.
    if (newEnd > st.st_size) {
        int rc = ::posix_fallocate(fd, st.st_size, newEnd - st.st_size);
        if (rc == EOPNOTSUPP || rc == EINVAL)
            rc = ::ftruncate(fd, newEnd) == 0 ? 0 : errno;
        if (rc != 0) {
            // Undo a partial extension; the old bytes are untouched either way.
            if (::ftruncate(fd, st.st_size) != 0)
                rc = errno;
            return fail(sysError(rc));
        }
    }
    qint64 done = 0;
    while (done < suffix.size()) {
        const ssize_t n = ::pwrite(fd, suffix.constData() + done, size_t(suffix.size() - done), at + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(sysError(n < 0 ? errno : EIO));
        done += n;
    }
    if (newEnd < st.st_size && ::ftruncate(fd, newEnd) != 0)
        return fail(sysError(errno));
    s.queued.clear();
    m_lastBytes = suffix.size();
    // The rows are in; without the file's identity no later row may be added in place.
    if (::fstat(fd, &st) == 0)
        s.remember(st);
    else
        reset();
    ::close(fd);
    return true;
}

} // namespace xlsx

#pragma once

// Fixtures of the engineering page tests; python3 (openpyxl) is the independent reader.

#include "apptestutil.h"
#include "linktestutil.h"
#include "openpyxlsheet.h"

namespace caltest {

// The parentless page of type Page among the top-level widgets.
template<typename Page>
Page* topLevel()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<Page*>(w))
            return p;
    return nullptr;
}

// A window on `dev` whose start-up reads are all answered, and its page.
template<typename Page>
bool startOn(SimDevice& dev, std::unique_ptr<UI_Test>& w, Page*& page)
{
    page = apptest::startWindowOn(dev, w) ? topLevel<Page>() : nullptr;
    return page;
}

// The headers and cells of the first `columns` columns of `table` wider than their column.
inline QStringList clippedTexts(const QTableView* table, int columns)
{
    QStringList clipped;
    const int margin = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    for (int col = 0; col < columns; ++col)
        for (int row = -1; row < table->model()->rowCount(); ++row) {
            const QString text = row < 0 ? table->model()->headerData(col, Qt::Horizontal).toString()
                                         : table->model()->index(row, col).data().toString();
            if (table->fontMetrics().horizontalAdvance(text) + margin > table->columnWidth(col))
                clipped << text;
        }
    return clipped;
}

// Closes the visible message boxes, clicking the `press` button first; their texts.
inline QStringList takeBoxes(const QString& press = QString())
{
    QStringList texts;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible())
            continue;
        texts << box->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == press)
                b->click();
        box->close();
    }
    return texts;
}

// Unlike QTest::qWaitFor, each pass drains all pending events: the link's exchanges keep their pace.
template<typename F>
bool waitUntil(F done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QTest::qWait(20);
    return done();
}

// The boxes that open within `ms`, taken as soon as the first shows.
inline QStringList waitBoxes(int ms)
{
    QStringList texts;
    waitUntil([&texts] { return !(texts += takeBoxes()).isEmpty(); }, ms);
    return texts;
}

// What the device received, as "r Name" or "w Name", the link's flow polls left out.
inline QStringList pageRequests(const SimDevice& dev)
{
    QStringList out;
    for (const SimDevice::Request& r : dev.requests())
        if (!isPoll(r.cmd))
            out << (r.write ? "w " : "r ") + r.cmd;
    return out;
}

// Records each list `page` emits as "Name" (read) or "Name=value" (write, delay) items joined by ", ".
template<typename Page>
void recordLists(Page* page, QObject* ctx, QStringList& out)
{
    QObject::connect(page, &Page::commands_req, ctx, [&out](const QList<mfc_frame_t>& frames) {
        QStringList texts;
        for (const mfc_frame_t& f : frames)
            texts << (f.op == MFC_READ ? f.cmd : f.cmd + '=' + f.input);
        out << texts.join(QStringLiteral(", "));
    });
}

// Runs `script` with Debian's python3; its output, or why it failed.
inline QString python(const QString& script, const QStringList& args)
{
    QByteArray out;
    const bool ok = runPython(script, args, out);
    return (ok ? QString() : QStringLiteral("python failed: ")) + QString::fromUtf8(out).trimmed();
}

} // namespace caltest
